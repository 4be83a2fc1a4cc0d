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
// A clear tone's spectrum and companion agree within about 0.02 mV while
// the heart holds still, with the spectrum's lines 48.75 Hz apart; through
// a room's echoes a mean disagreement beyond this has come with errors of
// 0.1 mV and more in the companion. Where the lines lie further apart the
// peak is read the more coarsely, and the disagreement allowed grows with
// them.
constexpr double doubtfulMillivolts = 0.045;
constexpr double doubtfulLineHertz = 48.75;
// Where the heart moves the tone this far within a buffer (the steepest
// part of a tall QRS), the spectrum's peak, where the tone dwelt longest,
// and the companion's mean lie apart for the heart's own sake, up to half a
// millivolt: such a buffer leaves the disagreement as it was. A heart at
// 150 a minute with R waves of 2 mV otherwise made the whole of a clear
// recording doubtful; a room's echoes blunt the QRS, whose buffers then
// seldom move this far.
constexpr double heartMovesMillivolts = 0.8;
// One buffer's disagreement or jerks count at most this much: the onset of
// the tone, where the companion still reaches into what came before, is one
// buffer.
constexpr double largestMillivolts = 0.5;
// How far the companion's values bend from the line through their
// neighbours, on average over the last 0.3 s, at about 490 values a second:
// a clear tone's by 0.001 to 0.04 mV (a heart at 200 a minute with R waves
// of 3 mV and muscle noise adds 0.02); through an ordinary room's echoes and
// noise by 0.05 to 0.18, seldom more; through echoes as loud as the tone and
// noise 10 dB under it by 0.1 to 0.3, where every QRS comes back bent
// (moments of it 0.2 to 0.5 mV off). The short average hears such a room
// within a second.
constexpr double jerkSeconds = 0.3;
constexpr double jerkyMillivolts = 0.19;
// The jerks tell at this many values a second and more; where values lie
// further apart the heart's own curves grow into them.
constexpr double fewestValuesPerSecondForJerks = 400.0;

// The weight of one buffer in a running mean over about `seconds`.
double weightOver(double seconds, int sampleRate, int samplesPerBuffer) {
    return 1.0 - std::exp(-static_cast<double>(samplesPerBuffer) /
                          (seconds * static_cast<double>(sampleRate)));
}

// How far the heart moved the tone within `values`: the range of their
// means three by three, which noise on single values hardly widens (on the
// record's scale).
double heartMove(std::span<const double> values) {
    if (values.size() < 3) {
        return 0.0;
    }
    double lowest = values[0] + values[1] + values[2];
    double highest = lowest;
    for (std::size_t k = 3; k < values.size(); ++k) {
        const double three = values[k] + values[k - 1] + values[k - 2];
        lowest = std::min(lowest, three);
        highest = std::max(highest, three);
    }
    return (highest - lowest) / 3.0;
}

// The mean second difference of `values`, at most `largest`.
double meanJerk(std::span<const double> values, double largest) {
    if (values.size() < 3) {
        return 0.0;
    }
    double bent = 0.0;
    for (std::size_t k = 2; k < values.size(); ++k) {
        bent += std::abs(values[k] - 2.0 * values[k - 1] + values[k - 2]);
    }
    return std::min(bent / static_cast<double>(values.size() - 2), largest);
}

}  // namespace

ToneJudge::ToneJudge(int sampleRate, int samplesPerBuffer, int fftPoints)
    : sampleRate_(sampleRate),
      fftPoints_(fftPoints),
      valuesPerMillivolt_(records::valuesPerMillivoltAt(sampleRate, fftPoints)),
      doubtfulApart_(doubtfulMillivolts * std::max(1.0, static_cast<double>(sampleRate) /
                                                            fftPoints / doubtfulLineHertz)),
      readsJerks_(10.0 * sampleRate >= fewestValuesPerSecondForJerks * samplesPerBuffer),
      weight_(weightOver(averageSeconds, sampleRate, samplesPerBuffer)),
      jerkWeight_(weightOver(jerkSeconds, sampleRate, samplesPerBuffer)) {}

bool ToneJudge::heard(const PeakReading& reading, int sampleRate, int fftPoints) {
    return reading.prominence >= toneThreshold &&
           records::calibration::withinBand(reading.value,
                                            records::zeroValueAt(sampleRate, fftPoints),
                                            records::valuesPerMillivoltAt(sampleRate, fftPoints));
}

void ToneJudge::reset() {
    disagreement_ = 0.0;
    jerks_ = 0.0;
}

ToneQuality ToneJudge::judgeSpectrum(const PeakReading& reading) const {
    return heard(reading, sampleRate_, fftPoints_) ? ToneQuality::good : ToneQuality::withoutTone;
}

ToneQuality ToneJudge::judge(const PeakReading& reading, std::span<const double> tenValues) {
    if (judgeSpectrum(reading) == ToneQuality::withoutTone) {
        // What the tone's absence left is no measure of the tone to come.
        reset();
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
    const double largest = largestMillivolts * valuesPerMillivolt_;
    if (heartMove(tenValues) < heartMovesMillivolts * valuesPerMillivolt_) {
        const double apart = std::min(std::abs(reading.value - mean), largest);
        disagreement_ += weight_ * (apart / valuesPerMillivolt_ - disagreement_);
    }
    jerks_ += jerkWeight_ * (meanJerk(tenValues, largest) / valuesPerMillivolt_ - jerks_);
    const bool jerky = readsJerks_ && jerks_ > jerkyMillivolts;
    return disagreement_ > doubtfulApart_ || jerky ? ToneQuality::doubtful : ToneQuality::good;
}

}  // namespace acquisition
