#pragma once

#include <span>

#include "ToneQuality.h"
#include "ValueEstimate.h"

namespace acquisition {

// The one judgement of the front end's tone, buffer by buffer, from what the
// analysis already has. Without tone: the spectrum's strongest line does not
// stand out of it, or lies outside the tone's band. Doubtful: the tone is
// there, but the spectrum's peak and the mean of the companion's ten values
// have disagreed over the last second by more than a clear tone lets them
// (each read the same samples; echoes, noise and a codec's artefacts pull
// them apart, and the companion's values with them). Good otherwise. Not
// thread-safe: one analysis uses it.
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
    // The disagreement's running mean over about a second of buffers, in
    // millivolts, and the weight of each new buffer in it.
    double disagreement_ = 0.0;
    double weight_;
};

}  // namespace acquisition
