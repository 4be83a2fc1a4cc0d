#pragma once

#include "Recorder.h"

namespace acquisition {

// 16-bit signed little-endian samples.
class RecorderM16 final : public Recorder {
public:
    RecorderM16(platform::WaveInput& input, int samplesPerBuffer, int sampleRate)
        : Recorder(input, samplesPerBuffer, sampleRate, 16) {}

    int sample(const char* data, int index) const override;
    void samples(const char* data, int first, int count, int* out) const override;
};

}  // namespace acquisition
