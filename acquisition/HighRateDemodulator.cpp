#include "HighRateDemodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "SampleCursor.h"
#include "records/Companion.h"
#include "records/FrontEndCalibration.h"

namespace acquisition {

namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;

// The carrier as a whole number of hertz: the mixer's phase then advances by
// an integer index modulo the sample rate, exactly, for ever.
constexpr std::int64_t carrier = static_cast<std::int64_t>(records::calibration::carrierHertz);
static_assert(static_cast<double>(carrier) == records::calibration::carrierHertz);

// The rate the mixer decimates to, at least: every tone the low-pass must
// stop (the mirror at twice the carrier) stays clear of its passband there.
constexpr int basebandRate = 8000;

// The low-pass after the mixer: the tone stays within a few millivolts of the
// carrier (164.4 Hz a millivolt): flat to 3.6 mV either side and 75 dB down
// from 6.7 mV, far short of the tone's mirror 3432 Hz below the carrier. Its
// width sets how much noise reaches the phase: below some 10 dB of tone to
// noise within it the phase starts to slip by whole turns, each slip a spike
// of a turn over one value, and a narrower band keeps the tone above that
// threshold through noise ten times its power over the whole input band. The
// filter's phase is linear: a tone in its transition comes out weaker, at
// its own frequency.
constexpr double passbandHertz = 600.0;
constexpr double stopbandHertz = 1100.0;
constexpr double stopbandDecibels = 75.0;

// The low-pass on the phase's steps. The frequency noise grows with its
// distance from the carrier (as the square of it), and a tenth's mean, read
// 487.5 times a second, folds what lies near every multiple of that rate onto
// the ECG's band: through noise as strong as the tone that trebles the power
// of the noise under 100 Hz. Flat to 150 Hz, 50 dB down from 380 Hz (487.5 -
// 100 Hz).
constexpr double smoothPassHertz = records::companionLowPassHertz;
constexpr double smoothStopHertz = 380.0;
constexpr double smoothDecibels = 50.0;

// The corner of the high-pass that takes off the input's DC level: its
// phase barely changes over the tone's band (a quarter of a microsecond of
// delay at the carrier), and an offset is gone within a tenth of a second.
constexpr double dcCornerHertz = 5.0;

// The tone's running power follows it over this time: the gain control of a
// phone swings slower (over half a second and more), a room's echoes cancel
// the tone faster. Followed closely (25 ms), the level sinks into a room's
// longer fades and they are no longer bridged: a loud room's wrong seconds
// fall from 37 to 28 % from 25 to 200 ms.
constexpr double levelSeconds = 0.2;
// Below this share of its running power the tone's phase step is trusted
// only in proportion to the power, the rest of it the last smoothed step.
// Where echoes all but cancel the tone its phase turns by anything, and a
// step taken at its word is a spike of a turn. Through a loud room's echoes
// (as much reflected as direct sound) the seconds whose companion is off
// by more than 0.1 mV fall from four in five (every step trusted) to under
// one in two at 0.1 and about a third at 0.2 (the level over 25 ms); at 0.5
// a quarter, but through white noise ten times the tone's power the last
// step's delay then costs more than the spikes (the ECG's correlation falls
// below 0.98; 0.982 at 0.2). A steady tone never comes near it, and its
// values are those of the plain discriminator, bit for bit.
constexpr double trustedPower = 0.2;

// A hold continues the frequency of this last stretch.
constexpr double holdSeconds = 0.001;

double sinc(double x) {
    if (x == 0.0) {
        return 1.0;
    }
    const double a = std::numbers::pi * x;
    return std::sin(a) / a;
}

// A Kaiser-windowed sinc low-pass at `rate` (Kaiser's formulas for order and
// shape), flat to `passHertz` and `decibels` down from `stopHertz`, of odd
// length so that its delay is a whole number of samples; unit gain at 0 Hz.
std::vector<double> kaiserLowPass(double rate, double passHertz, double stopHertz,
                                  double decibels) {
    const double beta = 0.1102 * (decibels - 8.7);
    const double width = twoPi * (stopHertz - passHertz) / rate;
    const auto order = static_cast<int>(std::ceil((decibels - 7.95) / (2.285 * width)));
    const int half = (order + 1) / 2;
    const double cutoff = (passHertz + stopHertz) / 2.0 / rate;
    const double norm = std::cyl_bessel_i(0.0, beta);
    std::vector<double> taps(static_cast<std::size_t>(2 * half + 1));
    double sum = 0.0;
    for (int n = 0; n <= 2 * half; ++n) {
        const double x = static_cast<double>(n - half) / half;
        const double window = std::cyl_bessel_i(0.0, beta * std::sqrt(1.0 - x * x)) / norm;
        const double h = 2.0 * cutoff * sinc(2.0 * cutoff * (n - half)) * window;
        taps[static_cast<std::size_t>(n)] = h;
        sum += h;
    }
    for (double& h : taps) {
        h /= sum;
    }
    return taps;
}

std::int64_t ceilDivide(std::int64_t a, std::int64_t b) {
    return (a + b - 1) / b;
}

}  // namespace

HighRateDemodulator::HighRateDemodulator(int sampleRate, int samplesPerBuffer)
    : sampleRate_(sampleRate), samplesPerBuffer_(samplesPerBuffer) {
    if (sampleRate < minimumRate || samplesPerBuffer < valuesPerBuffer) {
        throw std::invalid_argument("high-rate demodulator: unsupported sample rate or buffer");
    }
    decimation_ = sampleRate / basebandRate;
    mixerLength_ = 2 * decimation_ - 1;
    designMixer();
    designLowPass();
    phaseSpacing_ = static_cast<std::int64_t>(decimation_) * lowPassStride;
    designSmoother();
    phaseDelay_ = static_cast<std::int64_t>(lowPassHalf_) * decimation_ +
                  static_cast<std::int64_t>(smootherHalf_) * phaseSpacing_;
    dcWeight_ = 1.0 - std::exp(-twoPi * dcCornerHertz * decimation_ / sampleRate);
    levelWeight_ =
        1.0 - std::exp(-static_cast<double>(phaseSpacing_) / (levelSeconds * sampleRate));
    holdSamples_ = std::max(1, static_cast<int>(std::lround(holdSeconds * sampleRate /
                                                            static_cast<double>(phaseSpacing_))));
    // Phase sample i needs baseband samples up to i * stride back to
    // 2 * half, and baseband sample m needs input from (m - 1) * D + 1 on;
    // a smoothed step needs the smoother's length of such steps.
    const int settled = 2 * lowPassHalf_ + (decimation_ > 1 ? 1 : 0);
    firstValid_ = ceilDivide(settled, lowPassStride) + smootherLength_;
    lag_ = computeLag();

    const auto perBuffer = static_cast<std::size_t>(samplesPerBuffer);
    samples_.resize(perBuffer);
    input_.resize(static_cast<std::size_t>(mixerLength_ - 1) + perBuffer);
    const std::size_t baseband =
        static_cast<std::size_t>(lowPassLength_ - 1 + samplesPerBuffer / decimation_ + 2);
    basebandRe_.resize(baseband);
    basebandIm_.resize(baseband);
    phase_.resize(static_cast<std::size_t>((static_cast<std::int64_t>(lag_) + 2) *
                                               samplesPerBuffer / phaseSpacing_ +
                                           holdSamples_ + lowPassHalf_ + smootherLength_ + 8));
    steps_.resize(2 * static_cast<std::size_t>(smootherLength_));
    reset();
}

void HighRateDemodulator::designMixer() {
    // Two boxcars of D samples: the triangle 1, 2 .. D .. 2, 1, with zeros
    // at every multiple of the decimated rate, where what folds onto the
    // baseband comes from. The carrier is folded in: sum_k h[k] x[p - k]
    // e^{-i w (p - k)} = e^{-i w p} sum_k (h[k] e^{i w k}) x[p - k].
    const int d = decimation_;
    const int length = mixerLength_;
    mixerRe_.assign(static_cast<std::size_t>(length), 0.0);
    mixerIm_.assign(static_cast<std::size_t>(length), 0.0);
    const double scale = 1.0 / (static_cast<double>(d) * d);
    for (int k = 0; k < length; ++k) {
        const double weight = std::min(k + 1, length - k) * scale;
        const double angle = twoPi * static_cast<double>(k * carrier % sampleRate_) / sampleRate_;
        const auto reversed = static_cast<std::size_t>(length - 1 - k);
        mixerRe_[reversed] = weight * std::cos(angle);
        mixerIm_[reversed] = weight * std::sin(angle);
    }
    // e^{-2 pi i q / rate} for every index q below the rate, as
    // coarse[q / fine] * fine[q % fine]: two short exact tables.
    const auto fine = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(sampleRate_))));
    const int coarse = sampleRate_ / fine + 1;
    fineRe_.resize(static_cast<std::size_t>(fine));
    fineIm_.resize(static_cast<std::size_t>(fine));
    coarseRe_.resize(static_cast<std::size_t>(coarse));
    coarseIm_.resize(static_cast<std::size_t>(coarse));
    for (int q = 0; q < fine; ++q) {
        const double angle = twoPi * q / sampleRate_;
        fineRe_[static_cast<std::size_t>(q)] = std::cos(angle);
        fineIm_[static_cast<std::size_t>(q)] = -std::sin(angle);
    }
    for (int q = 0; q < coarse; ++q) {
        const double angle = twoPi * (static_cast<double>(q) * fine) / sampleRate_;
        coarseRe_[static_cast<std::size_t>(q)] = std::cos(angle);
        coarseIm_[static_cast<std::size_t>(q)] = -std::sin(angle);
    }
    carrierStep_ = d * carrier % sampleRate_;
}

void HighRateDemodulator::designLowPass() {
    lowPass_ = kaiserLowPass(static_cast<double>(sampleRate_) / decimation_, passbandHertz,
                             stopbandHertz, stopbandDecibels);
    lowPassLength_ = static_cast<int>(lowPass_.size());
    lowPassHalf_ = lowPassLength_ / 2;
}

void HighRateDemodulator::designSmoother() {
    // At the rate of the phase samples (about 4 kHz at every rate).
    smoother_ = kaiserLowPass(static_cast<double>(sampleRate_) / static_cast<double>(phaseSpacing_),
                              smoothPassHertz, smoothStopHertz, smoothDecibels);
    smootherLength_ = static_cast<int>(smoother_.size());
    smootherHalf_ = smootherLength_ / 2;
}

int HighRateDemodulator::computeLag() const {
    // A phase sample centred on input sample c is known once sample c + reach
    // is in.
    const std::int64_t reach = (mixerLength_ - 1) / 2 + phaseDelay_;
    const std::int64_t perBuffer = samplesPerBuffer_;
    // Buffer k ends at (k + 1) S; the two phase samples after that boundary
    // must be in when the buffer's values are made, lag buffers later.
    const std::int64_t steady = ceilDivide(reach + 2 * phaseSpacing_ + 1, perBuffer);
    // The first buffer's values also need a millisecond of settled phase.
    const std::int64_t settledCentre = (firstValid_ + holdSamples_) * phaseSpacing_ - phaseDelay_;
    const std::int64_t start = ceilDivide(settledCentre + reach + 1, perBuffer) - 1;
    return static_cast<int>(std::max<std::int64_t>({1, steady, start}));
}

void HighRateDemodulator::reset() {
    std::fill(input_.begin(), input_.end(), 0.0);
    std::fill(basebandRe_.begin(), basebandRe_.end(), 0.0);
    std::fill(basebandIm_.begin(), basebandIm_.end(), 0.0);
    dcRe_ = 0.0;
    dcIm_ = 0.0;
    // Baseband sample m is the mixer's output over input samples up to
    // m D + D - 1, centred on input sample m D.
    mixerNext_ = (mixerLength_ - 1) + (decimation_ - 1);
    lowPassNext_ = lowPassLength_ - 1;
    std::fill(steps_.begin(), steps_.end(), 0.0);
    stepNext_ = 0;
    carrierIndex_ = (decimation_ - 1) * carrier % sampleRate_;
    phaseStart_ = 0;
    phaseCount_ = 0;
    lastAngle_ = 0.0;
    lastPhase_ = 0.0;
    lastStep_ = 0.0;
    level_ = 0.0;
    pushed_ = 0;
    nextLine_ = 0;
}

bool HighRateDemodulator::push(SampleCursor cursor, Line& completed) {
    loadSamples(cursor);
    mixDown();
    ++pushed_;
    if (pushed_ <= lag_) {
        return false;
    }
    nextLine_ = pushed_ - 1 - lag_;
    return finish(completed);
}

bool HighRateDemodulator::finish(Line& completed) {
    if (nextLine_ >= pushed_) {
        return false;
    }
    emitLine(nextLine_, completed);
    ++nextLine_;
    // What the next buffer's first boundary needs, and the last millisecond
    // for a hold.
    const std::int64_t first = (nextLine_ * samplesPerBuffer_ + phaseDelay_) / phaseSpacing_ - 1;
    dropBefore(std::min(first, phaseStart_ + phaseCount_ - 1 - holdSamples_));
    return true;
}

void HighRateDemodulator::loadSamples(SampleCursor& cursor) {
    if (cursor.size() != samplesPerBuffer_) {
        throw std::invalid_argument("high-rate demodulator: buffer of another size");
    }
    cursor.read(samplesPerBuffer_, samples_.data());
    double* x = input_.data() + (mixerLength_ - 1);
    for (int i = 0; i < samplesPerBuffer_; ++i) {
        x[i] = samples_[static_cast<std::size_t>(i)];
    }
}

void HighRateDemodulator::mixDown() {
    const int history = mixerLength_ - 1;
    const int end = history + samplesPerBuffer_;
    const int fine = static_cast<int>(fineRe_.size());
    double* re = basebandRe_.data() + (lowPassLength_ - 1);
    double* im = basebandIm_.data() + (lowPassLength_ - 1);
    int count = 0;
    int p = mixerNext_;
    for (; p < end; p += decimation_) {
        const double* x = input_.data() + (p - history);
        double sumRe = 0.0;
        double sumIm = 0.0;
        for (int k = 0; k < mixerLength_; ++k) {
            sumRe += mixerRe_[static_cast<std::size_t>(k)] * x[k];
            sumIm += mixerIm_[static_cast<std::size_t>(k)] * x[k];
        }
        // The input's DC level is a constant here, before the carrier is
        // taken off: a first-order high-pass removes it (a sound card's
        // offset would otherwise become a line at the carrier's distance,
        // in the low-pass's transition).
        const double dcRe = dcRe_;
        const double dcIm = dcIm_;
        dcRe_ += dcWeight_ * (sumRe - dcRe);
        dcIm_ += dcWeight_ * (sumIm - dcIm);
        sumRe -= dcRe;
        sumIm -= dcIm;
        // Take the carrier off: times e^{-i w p}.
        const auto hi = static_cast<std::size_t>(carrierIndex_ / fine);
        const auto lo = static_cast<std::size_t>(carrierIndex_ % fine);
        const double cRe = coarseRe_[hi] * fineRe_[lo] - coarseIm_[hi] * fineIm_[lo];
        const double cIm = coarseRe_[hi] * fineIm_[lo] + coarseIm_[hi] * fineRe_[lo];
        re[count] = sumRe * cRe - sumIm * cIm;
        im[count] = sumRe * cIm + sumIm * cRe;
        ++count;
        carrierIndex_ += carrierStep_;
        if (carrierIndex_ >= sampleRate_) {
            carrierIndex_ -= sampleRate_;
        }
    }
    mixerNext_ = p - samplesPerBuffer_;
    std::copy(input_.begin() + samplesPerBuffer_, input_.begin() + end, input_.begin());
    lowPass(count);
}

void HighRateDemodulator::lowPass(int count) {
    const int history = lowPassLength_ - 1;
    const int end = history + count;
    int o = lowPassNext_;
    for (; o < end; o += lowPassStride) {
        const double* re = basebandRe_.data() + (o - history);
        const double* im = basebandIm_.data() + (o - history);
        // Symmetric: each tap weighs the two samples it stands for.
        double sumRe = lowPass_[static_cast<std::size_t>(lowPassHalf_)] * re[lowPassHalf_];
        double sumIm = lowPass_[static_cast<std::size_t>(lowPassHalf_)] * im[lowPassHalf_];
        for (int k = 0; k < lowPassHalf_; ++k) {
            const int mirror = lowPassLength_ - 1 - k;
            sumRe += lowPass_[static_cast<std::size_t>(k)] * (re[k] + re[mirror]);
            sumIm += lowPass_[static_cast<std::size_t>(k)] * (im[k] + im[mirror]);
        }
        appendPhase(sumRe, sumIm);
    }
    lowPassNext_ = o - count;
    std::copy(basebandRe_.begin() + count, basebandRe_.begin() + end, basebandRe_.begin());
    std::copy(basebandIm_.begin() + count, basebandIm_.begin() + end, basebandIm_.begin());
}

void HighRateDemodulator::appendPhase(double re, double im) {
    if (phaseCount_ == static_cast<std::int64_t>(phase_.size())) {
        throw std::logic_error("high-rate demodulator: phase window overflow");
    }
    // Between two phase samples the tone moves far less than half a turn
    // from the carrier: the nearest turn is the right one.
    // Each step goes through the low-pass before it adds to the phase: the
    // phase is known up to a constant alone, its steps are not.
    const double angle = std::atan2(im, re);
    const double power = re * re + im * im;
    const double relative = level_ > 0.0 ? power / level_ : 1.0;
    level_ += levelWeight_ * (power - level_);
    // A weight of 1 leaves the step as it is, bit for bit.
    const double weight = std::min(1.0, relative / trustedPower);
    const double newest =
        weight * std::remainder(angle - lastAngle_, twoPi) + (1.0 - weight) * lastStep_;
    lastAngle_ = angle;
    // The last steps, oldest first, from stepNext_ on: the ring holds each
    // step twice, so that they lie in one piece.
    const auto length = static_cast<std::size_t>(smootherLength_);
    steps_[stepNext_] = newest;
    steps_[stepNext_ + length] = newest;
    stepNext_ = stepNext_ + 1 == length ? 0 : stepNext_ + 1;
    const double* window = steps_.data() + stepNext_;
    const auto half = static_cast<std::size_t>(smootherHalf_);
    double step = smoother_[half] * window[half];
    for (std::size_t k = 0; k < half; ++k) {
        step += smoother_[k] * (window[k] + window[length - 1 - k]);
    }
    lastStep_ = step;
    lastPhase_ += step;
    phase_[static_cast<std::size_t>(phaseCount_)] = lastPhase_;
    ++phaseCount_;
}

void HighRateDemodulator::emitLine(std::int64_t buffer, Line& line) const {
    const std::int64_t lo = std::max(firstValid_, phaseStart_);
    const std::int64_t hi = phaseStart_ + phaseCount_ - 1;
    if (hi - lo < 1) {
        line.fill(records::calibration::zeroLevel);
        return;
    }
    const std::int64_t span = std::min<std::int64_t>(holdSamples_, hi - lo);
    const double startSlope = (phase(lo + span) - phase(lo)) / static_cast<double>(span);
    const double endSlope = (phase(hi) - phase(hi - span)) / static_cast<double>(span);
    // Boundaries in tenths of a sample: j S / 10 is exact.
    const std::int64_t first = 10 * buffer * samplesPerBuffer_;
    const double hertzPerRadian =
        10.0 * sampleRate_ / (twoPi * static_cast<double>(samplesPerBuffer_));
    double before = phaseAt(first, lo, hi, startSlope, endSlope);
    for (int j = 0; j < valuesPerBuffer; ++j) {
        const double after = phaseAt(first + static_cast<std::int64_t>(j + 1) * samplesPerBuffer_,
                                     lo, hi, startSlope, endSlope);
        const double hertz = static_cast<double>(carrier) + (after - before) * hertzPerRadian;
        line[static_cast<std::size_t>(j)] = hertz / records::calibration::hertzPerValue;
        before = after;
    }
}

double HighRateDemodulator::phaseAt(std::int64_t tenTimes, std::int64_t lo, std::int64_t hi,
                                    double startSlope, double endSlope) const {
    // Phase sample i is centred on input sample i * spacing - half * D.
    const std::int64_t numerator = tenTimes + 10 * phaseDelay_;
    const std::int64_t denominator = 10 * phaseSpacing_;
    const std::int64_t i = numerator / denominator;
    const double fraction =
        static_cast<double>(numerator % denominator) / static_cast<double>(denominator);
    if (i < lo) {
        return phase(lo) + (static_cast<double>(i - lo) + fraction) * startSlope;
    }
    if (i + 1 > hi) {
        return phase(hi) + (static_cast<double>(i - hi) + fraction) * endSlope;
    }
    if (i - 1 < lo || i + 2 > hi) {
        return phase(i) + fraction * (phase(i + 1) - phase(i));
    }
    // Cubic through two samples either side: a straight line misses the
    // phase's curvature, which over the shortest tenths (0.13 ms at 798720
    // samples a second and 1024 a buffer) comes to 0.01 in a value.
    const double x = fraction;
    const double before = -x * (x - 1.0) * (x - 2.0) / 6.0;
    const double at = (x + 1.0) * (x - 1.0) * (x - 2.0) / 2.0;
    const double after = -(x + 1.0) * x * (x - 2.0) / 2.0;
    const double beyond = (x + 1.0) * x * (x - 1.0) / 6.0;
    return before * phase(i - 1) + at * phase(i) + after * phase(i + 1) + beyond * phase(i + 2);
}

void HighRateDemodulator::dropBefore(std::int64_t index) {
    const std::int64_t n = index - phaseStart_;
    if (n <= 0) {
        return;
    }
    // The kept phases start again from 0: they never grow with the
    // recording's length.
    const double base = phase(index);
    const auto from = static_cast<std::size_t>(n);
    const auto count = static_cast<std::size_t>(phaseCount_ - n);
    for (std::size_t r = 0; r < count; ++r) {
        phase_[r] = phase_[r + from] - base;
    }
    lastPhase_ -= base;
    phaseStart_ = index;
    phaseCount_ -= n;
}

}  // namespace acquisition
