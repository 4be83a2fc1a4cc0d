#pragma once

#include "Recorder.h"

namespace acquisition {

// 8-bit unsigned samples, centred on 128 and scaled by 64.
class RecorderM8 final : public Recorder {
public:
    RecorderM8(platform::WaveInput& input, int samplesPerBuffer, int sampleRate)
        : Recorder(input, samplesPerBuffer, sampleRate, 8) {}

    int sample(const char* data, int index) const override;
    void samples(const char* data, int first, int count, int* out) const override;
};

}  // namespace acquisition
