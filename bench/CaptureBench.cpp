// The whole capture path at full speed: the front-end simulator unpaced fills
// the recorder's ring as fast as the worker hands buffers back, and the
// capture worker analyses every buffer, draws its segment into the live panes
// and appends its value to the working file. One iteration is one whole
// recording, from startCapture() until the worker's automatic stop (with no
// main window the worker stops the capture itself), 7P + 6 buffers with P = 461
// at 2.08 pixels a buffer.
//
// Reported: buffers per second, and that rate as a multiple of the rate the
// device delivers in real time (sampleRate / samplesPerBuffer).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/FmTone.h"
#include "acquisition/FrontEndSimulator.h"
#include "acquisition/Painter.h"
#include "bench/BenchDirectory.h"
#include "render/EcgPane.h"
#include "render/TraceFactors.h"

namespace {

using acquisition::Painter;
using Clock = std::chrono::steady_clock;

constexpr int paneWidth = 958;
constexpr int paneHeight = 124;
// Buffers of one uninterrupted recording: 7P + 6 with P = 461 steps a pane.
constexpr int recordingBuffers = 7 * 461 + 6;

// The acquisition settings of one run.
struct CaptureSettings {
    int sampleRate;
    int samplesPerBuffer;
    int fftPoints;
};

// Twenty panes of the main window's size and a capture worker over them with
// no main window, fed by the unpaced simulator.
class CaptureChain {
public:
    explicit CaptureChain(const CaptureSettings& settings) : simulator_(unpaced()) {
        for (int i = 0; i < Painter::paneCount; ++i) {
            panes_.push_back(
                std::make_unique<render::EcgPane>(i, paneWidth, paneHeight, platform::Rect{}));
            list_[static_cast<std::size_t>(i)] = panes_.back().get();
        }
        painter_ = std::make_unique<Painter>(simulator_, nullptr, list_, 4096, 199680, 4096);
        painter_->resumeThread();
        if (!painter_->configure(settings.samplesPerBuffer, settings.sampleRate, settings.fftPoints,
                                 16, render::factors::defaultSpeed, render::factors::defaultGain)) {
            throw std::runtime_error("configure refused the settings");
        }
    }
    ~CaptureChain() {
        painter_->stopCapture();
        painter_->stopThread();
    }
    CaptureChain(const CaptureChain&) = delete;
    CaptureChain& operator=(const CaptureChain&) = delete;

    // Runs one recording to its automatic stop; returns the buffers processed
    // and the wall-clock time taken, or throws if it never ends.
    std::pair<long long, std::chrono::duration<double>> record() {
        const long long before = painter_->processedBuffers();
        const Clock::time_point start = Clock::now();
        if (!painter_->startCapture()) {
            throw std::runtime_error("capture did not start");
        }
        const Clock::time_point limit = start + std::chrono::seconds(300);
        while (painter_->isRecording()) {
            if (Clock::now() > limit) {
                throw std::runtime_error("the recording never stopped");
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const std::chrono::duration<double> elapsed = Clock::now() - start;
        return {painter_->processedBuffers() - before, elapsed};
    }

private:
    static acquisition::SimulatorSettings unpaced() {
        acquisition::SimulatorSettings s;
        s.speed = 0.0;
        return s;
    }

    acquisition::FrontEndSimulator simulator_;
    std::vector<std::unique_ptr<render::EcgPane>> panes_;
    Painter::PaneList list_{};
    std::unique_ptr<Painter> painter_;
};

// Buffers per second, and that as a multiple of the device's real-time rate.
void reportRate(benchmark::State& state, double buffers, double seconds, int sampleRate,
                int samplesPerBuffer) {
    const double perSecond = seconds > 0.0 ? buffers / seconds : 0.0;
    const double realTime = static_cast<double>(sampleRate) / samplesPerBuffer;
    state.counters["buffers/s"] = perSecond;
    state.counters["x_realtime"] = perSecond / realTime;
}

void wholeRecording(benchmark::State& state) {
    const CaptureSettings settings{static_cast<int>(state.range(0)),
                                   static_cast<int>(state.range(1)),
                                   static_cast<int>(state.range(2))};
    const BenchDirectory directory;
    CaptureChain chain(settings);
    long long buffers = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        const auto [processed, elapsed] = chain.record();
        buffers += processed;
        seconds += elapsed.count();
        state.SetIterationTime(elapsed.count());
    }
    state.counters["buffers"] =
        static_cast<double>(buffers) / static_cast<double>(state.iterations());
    reportRate(state, static_cast<double>(buffers), seconds, settings.sampleRate,
               settings.samplesPerBuffer);
}

// The simulator's share alone: the front end's tone for one buffer, as the
// simulator's producer thread writes it, restarted after one recording's
// worth of buffers as each new capture restarts it. The chain above cannot
// run faster than this.
void simulatorTone(benchmark::State& state) {
    const int sampleRate = static_cast<int>(state.range(0));
    const auto samples = static_cast<std::size_t>(state.range(1));
    acquisition::FmTone tone(acquisition::HeartSignal{}, sampleRate);
    std::vector<char> buffer(samples * 2);
    const std::uint64_t recording = static_cast<std::uint64_t>(recordingBuffers) * samples;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        if (tone.nextSample() >= recording) {
            tone.restart();
        }
        tone.fill(buffer.data(), samples, 16);
        benchmark::DoNotOptimize(buffer.data());
    }
    const std::chrono::duration<double> elapsed = Clock::now() - start;
    reportRate(state, static_cast<double>(state.iterations()), elapsed.count(), sampleRate,
               static_cast<int>(samples));
}

}  // namespace

// Arguments: samples per second, samples per buffer, FFT size.
BENCHMARK(wholeRecording)
    ->Args({199680, 4096, 4096})
    ->Args({798720, 1024, 8192})
    ->ArgNames({"rate", "buffer", "fft"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

// Arguments: samples per second, samples per buffer.
BENCHMARK(simulatorTone)
    ->Args({199680, 4096})
    ->Args({798720, 1024})
    ->ArgNames({"rate", "buffer"})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
