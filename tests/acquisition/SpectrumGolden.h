#pragma once

// The recordings whose analysis is kept as golden values (SpectrumGoldenTest):
// steady tones and the front-end simulator's heart signal, at every FFT size
// and rate the program offers, whole and sliding windows, 8- and 16-bit
// samples, with and without noise. Each case is rebuilt here from its
// description, so the stored table holds only what the analysis gave.

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "FakeWaveInput.h"
#include "acquisition/FmTone.h"
#include "acquisition/HeartSignal.h"
#include "acquisition/Recorder.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/RecorderM8.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "acquisition/ValueEstimate.h"

namespace acquisition::golden {

struct Case {
    const char* name;
    int points;
    int sampleRate;
    int samplesPerBuffer;
    int bitsPerSample;
    // A steady tone of this frequency (Hz) at 16000 of 32767 when positive;
    // otherwise the simulator's FM tone of a heart beating at `beatsPerMinute`.
    double toneHertz;
    double beatsPerMinute;
    double amplitude;
    double lineNoise;
    double wanderMillivolts;
    double heartNoiseMillivolts;
    int buffers;
};

// clang-format off
inline const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        // name                  N     rate    S     bits tone    bpm    amp   line   wander noise buffers
        {"tone-1024-199680",     1024, 199680, 1024, 16, 1950.0,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-1024-399360",     1024, 399360, 1024, 16, 2213.7,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-1024-798720",     1024, 798720, 1024, 16, 1716.0,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-2048-199680",     2048, 199680, 2048, 16, 1716.0,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-2048-399360",     2048, 399360, 1024, 16, 1950.0,  0.0,   0.5,  0.0,   0.0,  0.0,  4},
        {"tone-2048-798720",     2048, 798720, 2048, 16, 2213.7,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-4096-199680",     4096, 199680, 4096, 16, 1950.0,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-4096-199680-b",   4096, 199680, 4096, 16, 1966.25, 0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-4096-199680-8",   4096, 199680, 4096,  8, 1716.0,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-4096-399360",     4096, 399360, 2048, 16, 2213.7,  0.0,   0.5,  0.0,   0.0,  0.0,  4},
        {"tone-4096-798720",     4096, 798720, 4096, 16, 1716.0,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-8192-199680",     8192, 199680, 8192, 16, 2213.7,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-8192-399360",     8192, 399360, 8192, 16, 1716.0,  0.0,   0.5,  0.0,   0.0,  0.0,  3},
        {"tone-8192-798720",     8192, 798720, 3072, 16, 1950.0,  0.0,   0.5,  0.0,   0.0,  0.0,  4},
        {"heart-72",             4096, 199680, 4096, 16, 0.0,     72.0,  0.5,  0.0,   0.0,  0.0,  60},
        {"heart-45",             4096, 199680, 4096, 16, 0.0,     45.0,  0.5,  0.0,   0.0,  0.0,  60},
        {"heart-120",            4096, 199680, 4096, 16, 0.0,     120.0, 0.5,  0.0,   0.0,  0.0,  60},
        {"heart-180",            4096, 199680, 4096, 16, 0.0,     180.0, 0.5,  0.0,   0.0,  0.0,  60},
        {"heart-72-8bit",        4096, 199680, 4096,  8, 0.0,     72.0,  0.5,  0.0,   0.0,  0.0,  50},
        {"heart-90-sliding",     4096, 199680, 1024, 16, 0.0,     90.0,  0.5,  0.0,   0.0,  0.0,  60},
        {"heart-60-1024",        1024, 199680, 1024, 16, 0.0,     60.0,  0.5,  0.0,   0.0,  0.0,  60},
        {"heart-100-2048",       2048, 399360, 2048, 16, 0.0,     100.0, 0.5,  0.0,   0.0,  0.0,  50},
        {"heart-150-8192",       8192, 798720, 8192, 16, 0.0,     150.0, 0.5,  0.0,   0.0,  0.0,  50},
        {"heart-72-8192-4096",   8192, 399360, 4096, 16, 0.0,     72.0,  0.5,  0.0,   0.0,  0.0,  50},
        {"heart-72-noisy",       4096, 199680, 3072, 16, 0.0,     72.0,  0.5,  0.05,  0.3,  0.05, 60},
        {"heart-100-weak",       2048, 199680, 1024, 16, 0.0,     100.0, 0.05, 0.02,  0.0,  0.0,  60},
    };
    return all;
}
// clang-format on

// One buffer's value and prominence, as the capture worker reads them.
using Reading =
    std::function<void(int buffer, const SpectrumAnalyzer& analyzer, const PeakReading& reading)>;

// Runs the case buffer by buffer through a fresh analyzer.
inline void run(const Case& c, const Reading& each) {
    FakeWaveInput device;
    std::unique_ptr<Recorder> recorder;
    if (c.bitsPerSample == 8) {
        recorder = std::make_unique<RecorderM8>(device, c.samplesPerBuffer, c.sampleRate);
    } else {
        recorder = std::make_unique<RecorderM16>(device, c.samplesPerBuffer, c.sampleRate);
    }
    HeartSignal::Settings heart;
    heart.beatsPerMinute = c.beatsPerMinute > 0.0 ? c.beatsPerMinute : 72.0;
    heart.wanderMillivolts = c.wanderMillivolts;
    heart.noiseMillivolts = c.heartNoiseMillivolts;
    FmTone tone(HeartSignal(heart), c.sampleRate, c.amplitude);
    tone.setNoise(c.lineNoise);

    SpectrumAnalyzer analyzer(c.points, c.sampleRate);
    const auto s = static_cast<std::size_t>(c.samplesPerBuffer);
    std::vector<char> bytes(s * static_cast<std::size_t>(c.bitsPerSample / 8));
    const double pi = std::acos(-1.0);
    long long sample = 0;
    for (int buffer = 0; buffer < c.buffers; ++buffer) {
        if (c.toneHertz > 0.0) {
            for (std::size_t i = 0; i < s; ++i, ++sample) {
                const double unit =
                    std::sin(2.0 * pi * c.toneHertz * static_cast<double>(sample) / c.sampleRate);
                if (c.bitsPerSample == 8) {
                    bytes[i] = static_cast<char>(128 + std::lround(100.0 * unit));
                } else {
                    const auto word = static_cast<std::uint16_t>(
                        static_cast<std::int16_t>(std::lround(16000.0 * unit)));
                    bytes[2 * i] = static_cast<char>(word & 0xFF);
                    bytes[2 * i + 1] = static_cast<char>(word >> 8);
                }
            }
        } else {
            tone.fill(bytes.data(), s, c.bitsPerSample);
        }
        SampleCursor cursor(bytes.data(), *recorder, c.samplesPerBuffer);
        analyzer.loadBlock(cursor);
        analyzer.transform();
        each(buffer, analyzer, readPeak(analyzer));
    }
}

}  // namespace acquisition::golden
