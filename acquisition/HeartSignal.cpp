#include "HeartSignal.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace acquisition {

namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;

constexpr double degrees(double d) {
    return d * std::numbers::pi / 180.0;
}

// A Gaussian further out than this many widths adds less than 1e-14 of its
// height and is skipped.
constexpr double reachInWidths = 8.0;

double gaussian(double offset, double width) {
    const double x = offset / width;
    return std::exp(-0.5 * x * x);
}

// SplitMix64: a counter-based generator, so the noise at a knot depends only
// on the seed and the knot's number.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// A uniform value in (0, 1], never 0 so that its logarithm is finite.
double unitInterval(std::uint64_t bits) {
    return (static_cast<double>(bits >> 11) + 1.0) / 9007199254740992.0;
}

}  // namespace

std::array<HeartSignal::Wave, 5> HeartSignal::defaultBeat() {
    return {{
        {degrees(-70.0), 0.15, 0.25},  // P
        {degrees(-15.0), -0.15, 0.1},  // Q
        {degrees(0.0), 1.2, 0.1},      // R
        {degrees(15.0), -0.3, 0.1},    // S
        {degrees(100.0), 0.35, 0.4},   // T
    }};
}

HeartSignal::HeartSignal(const Settings& settings) : settings_(settings) {
    if (!(settings_.beatsPerMinute > 0.0) || std::isinf(settings_.beatsPerMinute)) {
        throw std::invalid_argument("heart rate must be a positive number of beats per minute");
    }
    // As in the model: at a faster rate the waves narrow and Q, S, P and T
    // move away from R in phase, so in time the beat shrinks less than its
    // period does.
    const double rateFactor = std::sqrt(settings_.beatsPerMinute / 60.0);
    const double outerFactor = std::sqrt(rateFactor);
    const std::array<double, 5> angleFactors{outerFactor, rateFactor, 1.0, rateFactor, outerFactor};
    for (std::size_t i = 0; i < scaled_.size(); ++i) {
        const Wave& wave = settings_.waves[i];
        scaled_[i] = {wave.angle * angleFactors[i], wave.millivolts, wave.width * rateFactor};
    }
}

double HeartSignal::beatPhase(double seconds) const {
    return twoPi * seconds / beatPeriod() - std::numbers::pi;
}

double HeartSignal::rPeakTime(int beat) const {
    return (beat + 0.5) * beatPeriod();
}

double HeartSignal::beatMillivolts(double seconds) const {
    // The phase is wrapped once per call; each wave's offset then needs at
    // most one turn more to land in [-pi, pi] (the simulator's tone asks for
    // a value per sample, so this is its hot path).
    const double phase = std::remainder(beatPhase(seconds), twoPi);
    double sum = 0.0;
    for (const Wave& wave : scaled_) {
        // The nearest occurrence of the wave, and the one on the other side,
        // so that the sum stays smooth where one beat hands over to the next.
        double near = phase - wave.angle;
        if (near > std::numbers::pi) {
            near -= twoPi;
        } else if (near < -std::numbers::pi) {
            near += twoPi;
        }
        const double far = near > 0.0 ? near - twoPi : near + twoPi;
        const double reach = reachInWidths * wave.width;
        if (std::abs(near) < reach) {
            sum += wave.millivolts * gaussian(near, wave.width);
        }
        if (std::abs(far) < reach) {
            sum += wave.millivolts * gaussian(far, wave.width);
        }
    }
    return sum;
}

double HeartSignal::wanderMillivolts(double seconds) const {
    if (settings_.wanderMillivolts == 0.0) {
        return 0.0;
    }
    return settings_.wanderMillivolts * std::sin(twoPi * settings_.wanderHertz * seconds);
}

double HeartSignal::gaussianNoise(std::int64_t knot) const {
    const std::uint64_t key = mix(settings_.noiseSeed) ^ static_cast<std::uint64_t>(knot);
    const double u1 = unitInterval(mix(2 * key));
    const double u2 = unitInterval(mix(2 * key + 1));
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(twoPi * u2);
}

double HeartSignal::noiseMillivolts(double seconds) const {
    if (settings_.noiseMillivolts == 0.0) {
        return 0.0;
    }
    const double position = seconds * noiseKnotsPerSecond;
    const double knot = std::floor(position);
    const double fraction = position - knot;
    const auto k = static_cast<std::int64_t>(knot);
    const double interpolated =
        (1.0 - fraction) * gaussianNoise(k) + fraction * gaussianNoise(k + 1);
    // Linear interpolation between independent knots keeps on average 2/3 of
    // their variance; scale it back up so the RMS value is the one set.
    return settings_.noiseMillivolts * std::sqrt(1.5) * interpolated;
}

double HeartSignal::millivolts(double seconds) const {
    return beatMillivolts(seconds) + wanderMillivolts(seconds) + noiseMillivolts(seconds);
}

}  // namespace acquisition
