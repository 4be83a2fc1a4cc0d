#pragma once

#include <cstddef>
#include <cstdint>

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
    double phase_ = 0.0;
    std::uint64_t nextSample_ = 0;
};

}  // namespace acquisition
