#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acquisition/HeartSignal.h"
#include "tests/support/ToneFiles.h"

namespace testsupport {

// A tone file in stretches of whole buffers of the recording rate (4096
// samples at 199680 a second), so that each buffer is tone, silence or noise
// throughout and the decoded recording's stretches without tone are known
// to the line.
struct ToneStretch {
    enum class Kind { Tone, Silence, Noise };
    Kind kind;
    int buffers;
};

inline std::vector<std::int16_t> toneInStretches(const std::vector<ToneStretch>& stretches) {
    constexpr int samplesPerBuffer = 4096;
    int total = 0;
    for (const ToneStretch& s : stretches) {
        total += s.buffers;
    }
    const double seconds = static_cast<double>(total) * samplesPerBuffer / 199680.0;
    std::vector<std::int16_t> samples =
        simulatorTone(acquisition::HeartSignal{}, 199680, seconds + 0.01);
    samples.resize(static_cast<std::size_t>(total) * samplesPerBuffer);
    std::uint32_t state = 2024;
    std::size_t at = 0;
    for (const ToneStretch& s : stretches) {
        const std::size_t end = at + static_cast<std::size_t>(s.buffers) * samplesPerBuffer;
        for (; at < end; ++at) {
            if (s.kind == ToneStretch::Kind::Silence) {
                samples[at] = 0;
            } else if (s.kind == ToneStretch::Kind::Noise) {
                state = state * 1664525u + 1013904223u;
                samples[at] = static_cast<std::int16_t>(static_cast<int>(state >> 17) - 16384);
            }
        }
    }
    return samples;
}

}  // namespace testsupport
