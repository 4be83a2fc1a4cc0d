#include "ToneJudge.h"

#include <algorithm>
#include <cmath>

#include "records/FrontEndCalibration.h"
#include "records/RecordingFacts.h"

namespace acquisition {

namespace {

// The disagreement is averaged over this long: the seconds a reader judges
// are that long, and a room's echoes trouble the tone for seconds at a time.
constexpr double averageSeconds = 1.0;
// A clear tone's spectrum and companion agree within about 0.02 mV; through
// a room's echoes a mean disagreement beyond this has come with errors of
// 0.1 mV and more in the companion.
constexpr double doubtfulMillivolts = 0.045;
// One buffer's disagreement counts at most this much: the onset of the tone,
// where the companion still reaches into what came before, is one buffer.
constexpr double largestMillivolts = 0.5;

}  // namespace

ToneJudge::ToneJudge(int sampleRate, int samplesPerBuffer, int fftPoints)
    : sampleRate_(sampleRate),
      fftPoints_(fftPoints),
      valuesPerMillivolt_(records::valuesPerMillivoltAt(sampleRate, fftPoints)),
      weight_(1.0 - std::exp(-static_cast<double>(samplesPerBuffer) /
                             (averageSeconds * static_cast<double>(sampleRate)))) {}

bool ToneJudge::heard(const PeakReading& reading, int sampleRate, int fftPoints) {
    return reading.prominence >= toneThreshold &&
           records::calibration::withinBand(reading.value,
                                            records::zeroValueAt(sampleRate, fftPoints),
                                            records::valuesPerMillivoltAt(sampleRate, fftPoints));
}

void ToneJudge::reset() {
    disagreement_ = 0.0;
}

ToneQuality ToneJudge::judgeSpectrum(const PeakReading& reading) const {
    return heard(reading, sampleRate_, fftPoints_) ? ToneQuality::good : ToneQuality::withoutTone;
}

ToneQuality ToneJudge::judge(const PeakReading& reading, std::span<const double> tenValues) {
    if (judgeSpectrum(reading) == ToneQuality::withoutTone) {
        // What the tone's absence left is no measure of the tone to come.
        disagreement_ = 0.0;
        return ToneQuality::withoutTone;
    }
    if (tenValues.empty()) {
        return ToneQuality::good;
    }
    double mean = 0.0;
    for (const double v : tenValues) {
        mean += v;
    }
    mean /= static_cast<double>(tenValues.size());
    const double apart =
        std::min(std::abs(reading.value - mean) / valuesPerMillivolt_, largestMillivolts);
    disagreement_ += weight_ * (apart - disagreement_);
    return disagreement_ > doubtfulMillivolts ? ToneQuality::doubtful : ToneQuality::good;
}

}  // namespace acquisition
