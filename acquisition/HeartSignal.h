#pragma once

#include <array>
#include <cstdint>

namespace acquisition {

// A synthetic ECG in millivolts: every beat is a sum of five Gaussian waves
// (P, Q, R, S, T) placed at fixed angles of the beat's phase, after the
// dynamical ECG model of McSharry et al. (2003). Instead of integrating the
// model's differential equations we evaluate its Gaussians directly as a
// function of time, so a value at any instant is exact, cheap and the same on
// every call. A slow sinusoidal baseline wander and band-limited noise can be
// added on top; both are off by default.
//
// The beat's phase is -pi at t = 0 (mid-diastole, on the baseline), so the R
// peak of beat k falls at t = (k + 0.5) * 60 / beatsPerMinute.
class HeartSignal {
public:
    // One wave of the beat: where it sits on the beat's phase (radians, R at
    // 0), its height (millivolts) and its width (radians), all given for a
    // rate of 60 per minute. Faster beats move and narrow the waves as the
    // model does.
    struct Wave {
        double angle = 0.0;
        double millivolts = 0.0;
        double width = 0.1;
    };

    struct Settings {
        double beatsPerMinute = 72.0;
        // Baseline wander: a sine of this amplitude and frequency, from 0 at t = 0.
        double wanderMillivolts = 0.0;
        double wanderHertz = 0.3;
        // Noise of this RMS value, drawn from a counter-based generator, so the
        // same seed gives the same noise at the same instant.
        double noiseMillivolts = 0.0;
        std::uint64_t noiseSeed = 1;
        // P, Q, R, S, T.
        std::array<Wave, 5> waves = defaultBeat();
    };

    // Knots of the noise per second; between knots the noise is interpolated
    // linearly, which keeps it well below the rate of the ECG values.
    static constexpr double noiseKnotsPerSecond = 250.0;

    HeartSignal() : HeartSignal(Settings{}) {}
    // Throws std::invalid_argument unless the rate is positive and finite.
    explicit HeartSignal(const Settings& settings);

    double millivolts(double seconds) const;
    // The heart's own beat without wander and noise.
    double beatMillivolts(double seconds) const;
    double wanderMillivolts(double seconds) const;
    double noiseMillivolts(double seconds) const;

    const Settings& settings() const { return settings_; }
    double beatPeriod() const { return 60.0 / settings_.beatsPerMinute; }
    // The instant of the R peak of beat `beat` (0 for the first).
    double rPeakTime(int beat) const;

    // The standard beat: R about 1.2 mV, Q and S small and negative, P and T
    // low and broad.
    static std::array<Wave, 5> defaultBeat();

private:
    double beatPhase(double seconds) const;
    double gaussianNoise(std::int64_t knot) const;

    Settings settings_;
    // The waves moved and narrowed for the set rate.
    std::array<Wave, 5> scaled_{};
};

}  // namespace acquisition
