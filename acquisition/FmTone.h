#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "HeartSignal.h"
#include "records/FrontEndCalibration.h"

namespace acquisition {

// The ECG front end's tone: a phase-continuous sine whose frequency follows
// the heart signal, 1716 Hz at 0 mV and 164.4 Hz more per millivolt. At the
// program's fixed scale of 1.625 per 48.75 Hz this is a value of 57.2 (the
// record's fill level) at 0 mV and 5.48 more per millivolt.
//
// Sample n lies at t = n / sampleRate; the frequency between samples n and
// n + 1 is the one at their midpoint. Not thread-safe: one thread fills.
class FmTone {
public:
    static constexpr double carrierHertz = records::calibration::carrierHertz;
    static constexpr double hertzPerMillivolt = records::calibration::hertzPerMillivolt;
    // Peak of the sine as a fraction of full scale.
    static constexpr double defaultAmplitude = 0.5;

    FmTone(const HeartSignal& heart, double sampleRate, double amplitude = defaultAmplitude);

    // White noise on the line, as a fraction of full scale (0: none), and a
    // gain on the tone that another thread may change while it plays (null:
    // 1), as when the front end is switched off and on.
    void setNoise(double level) { noise_ = level; }
    void setGain(std::shared_ptr<const std::atomic<double>> gain) { gain_ = std::move(gain); }

    // Back to sample 0 at phase 0.
    void restart();
    // Writes the next `samples` mono samples: 8-bit unsigned centred on 128,
    // or 16-bit signed little-endian.
    void fill(char* data, std::size_t samples, int bitsPerSample);

    double frequencyAt(double seconds) const;
    std::uint64_t nextSample() const { return nextSample_; }
    double sampleRate() const { return sampleRate_; }
    const HeartSignal& heart() const { return heart_; }

private:
    // The next sine value in -1 .. 1; advances the phase by one sample.
    double step();

    HeartSignal heart_;
    double sampleRate_;
    double amplitude_;
    double noise_ = 0.0;
    std::shared_ptr<const std::atomic<double>> gain_;
    std::uint64_t noiseState_ = 0x9E3779B97F4A7C15ull;
    // Uniform noise in -1 .. 1.
    double nextNoise();
    double phase_ = 0.0;
    std::uint64_t nextSample_ = 0;
};

}  // namespace acquisition
