#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "acquisition/FmTone.h"
#include "acquisition/HeartSignal.h"

namespace testsupport {

// Audio files of the front end's tone, as a phone or a recorder keeps them.

// The simulator's tone of `heart` at `rate` samples a second, 16-bit mono.
inline std::vector<std::int16_t> simulatorTone(const acquisition::HeartSignal& heart, int rate,
                                               double seconds) {
    acquisition::FmTone tone(heart, rate);
    const auto n = static_cast<std::size_t>(seconds * rate);
    std::vector<char> bytes(2 * n);
    tone.fill(bytes.data(), n, 16);
    std::vector<std::int16_t> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 * i]);
        const auto hi = static_cast<unsigned char>(bytes[2 * i + 1]);
        samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
    return samples;
}

// `mono` in channel `channel` (from 0) of `channels`, silence in the others,
// interleaved.
inline std::vector<std::int16_t> inChannel(const std::vector<std::int16_t>& mono, int channels,
                                           int channel) {
    std::vector<std::int16_t> all(mono.size() * static_cast<std::size_t>(channels), 0);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        all[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)] = mono[i];
    }
    return all;
}

// A 16-bit PCM WAV file of the interleaved `samples`; its header announces
// `announcedFrames` frames (0: the ones it holds).
inline void writeWav(const std::string& path, int rate, int channels,
                     const std::vector<std::int16_t>& samples, std::uint32_t announcedFrames = 0) {
    const auto frames =
        static_cast<std::uint32_t>(samples.size() / static_cast<std::size_t>(channels));
    const std::uint32_t blockAlign = 2u * static_cast<std::uint32_t>(channels);
    const std::uint32_t dataBytes = (announcedFrames != 0 ? announcedFrames : frames) * blockAlign;
    std::ofstream out(path, std::ios::binary);
    const auto word = [&out](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.put(static_cast<char>(v >> (8 * i) & 0xFF));
        }
    };
    out << "RIFF";
    word(36 + dataBytes, 4);
    out << "WAVEfmt ";
    word(16, 4);
    word(1, 2);  // PCM
    word(static_cast<std::uint32_t>(channels), 2);
    word(static_cast<std::uint32_t>(rate), 4);
    word(static_cast<std::uint32_t>(rate) * blockAlign, 4);
    word(blockAlign, 2);
    word(16, 2);
    out << "data";
    word(dataBytes, 4);
    for (const std::int16_t s : samples) {
        word(static_cast<std::uint16_t>(s), 2);
    }
}

}  // namespace testsupport
