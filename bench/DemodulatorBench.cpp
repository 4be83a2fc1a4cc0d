// The high-rate demodulator's cost per captured buffer, as the capture worker
// would pay it beside the spectrum: one push of a buffer of the simulator's
// ECG tone (16-bit, a second of distinct buffers played round).
//
// Reported: microseconds per buffer, and the share of one core that is at the
// rate the device delivers buffers in real time (sampleRate / samplesPerBuffer).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <vector>

#include "acquisition/FmTone.h"
#include "acquisition/FrontEndSimulator.h"
#include "acquisition/HighRateDemodulator.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/SampleCursor.h"

namespace {

using Clock = std::chrono::steady_clock;

void demodulatorPush(benchmark::State& state) {
    const int sampleRate = static_cast<int>(state.range(0));
    const int samplesPerBuffer = static_cast<int>(state.range(1));
    const int buffers = sampleRate / samplesPerBuffer;
    const auto bytes = static_cast<std::size_t>(2 * samplesPerBuffer);
    acquisition::FmTone tone(acquisition::HeartSignal{}, sampleRate);
    std::vector<char> data(bytes * static_cast<std::size_t>(buffers));
    tone.fill(data.data(), data.size() / 2, 16);

    // The recorder only decodes the samples; its device is never opened.
    acquisition::FrontEndSimulator unused;
    const acquisition::RecorderM16 recorder(unused, samplesPerBuffer, sampleRate);
    acquisition::HighRateDemodulator demodulator(sampleRate, samplesPerBuffer);
    acquisition::HighRateDemodulator::Line line{};
    std::size_t next = 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        const acquisition::SampleCursor cursor(data.data() + next * bytes, recorder,
                                               samplesPerBuffer);
        benchmark::DoNotOptimize(demodulator.push(cursor, line));
        benchmark::DoNotOptimize(line.data());
        next = (next + 1) % static_cast<std::size_t>(buffers);
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    const double perBuffer = elapsed.count() / static_cast<double>(state.iterations());
    const double realTime = static_cast<double>(sampleRate) / samplesPerBuffer;
    state.counters["us/buffer"] = perBuffer * 1e6;
    state.counters["core_%"] = 100.0 * perBuffer * realTime;
}

}  // namespace

// Arguments: samples per second, samples per buffer.
BENCHMARK(demodulatorPush)
    ->Args({199680, 4096})
    ->Args({798720, 1024})
    ->Args({798720, 8192})
    ->ArgNames({"rate", "buffer"})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
