#pragma once

#include <cstdint>
#include <vector>

namespace testsupport {

// 16-bit signed little-endian PCM bytes of `samples`.
inline std::vector<char> pcm16(const std::vector<int>& samples) {
    std::vector<char> bytes;
    bytes.reserve(samples.size() * 2);
    for (int v : samples) {
        const auto word = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
        bytes.push_back(static_cast<char>(word & 0xFF));
        bytes.push_back(static_cast<char>(word >> 8));
    }
    return bytes;
}

}  // namespace testsupport
