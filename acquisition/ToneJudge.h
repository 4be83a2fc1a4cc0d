#pragma once

#include <span>

#include "ToneQuality.h"
#include "ValueEstimate.h"

namespace acquisition {

// The one judgement of the front end's tone, buffer by buffer, from what the
// analysis already has. Without tone: the spectrum's strongest line does not
// stand out of it, or lies outside the tone's band. Doubtful: the tone is
// there, but over the last second the spectrum's peak and the mean of the
// companion's ten values have disagreed, where the heart held still, by more
// than a clear tone lets them (each read the same samples; echoes, noise and
// a codec's artefacts pull them apart, and the companion's values with
// them), or over the last third of a second the companion's values have
// jerked from one to the next by more than a heart bends them (the tone's
// frequency thrown about by echoes as loud as the tone and noise: such a
// room bends every QRS). Good otherwise. Not thread-safe: one analysis uses
// it.
class ToneJudge {
public:
    // On the record's scale at these settings.
    ToneJudge(int sampleRate, int samplesPerBuffer, int fftPoints);

    // Whether a spectrum's reading is the front end's tone, at these settings.
    static bool heard(const PeakReading& reading, int sampleRate, int fftPoints);

    // A new recording: nothing of the last one is kept.
    void reset();
    // The next buffer's quality: its reading, and its companion's ten
    // values on the record's scale (empty at settings without one).
    ToneQuality judge(const PeakReading& reading, std::span<const double> tenValues);
    // The spectrum's part alone, for a buffer whose companion is not yet
    // made.
    ToneQuality judgeSpectrum(const PeakReading& reading) const;

private:
    int sampleRate_;
    int fftPoints_;
    double valuesPerMillivolt_;
    // The mean disagreement that makes the tone doubtful at these settings,
    // in millivolts.
    double doubtfulApart_;
    // Whether the companion's values lie close enough for their jerks to
    // tell: a heart bends it little from one value to the next.
    bool readsJerks_;
    // The running means, in millivolts, of the disagreement over about a
    // second of buffers and of the companion's jerks over a third of one,
    // and the weight of each new buffer in them.
    double disagreement_ = 0.0;
    double jerks_ = 0.0;
    double weight_;
    double jerkWeight_;
};

}  // namespace acquisition
