// One captured buffer's analysis as the capture worker runs it (taper and load
// the window, transform, search the peak over the lower half), against FFTW's
// complex transform of the same size as the yardstick.

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/RecorderM16.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "acquisition/ValueEstimate.h"

namespace {

constexpr int sampleRate = 199680;

// A device that never opens: the recorder here only decodes samples.
class NoWaveInput final : public platform::WaveInput {
public:
    unsigned deviceCount() const override { return 0; }
    platform::MMResult capabilities(unsigned, std::uint32_t& formats) const override {
        formats = 0;
        return platform::MMSYSERR_BADDEVICEID;
    }
    platform::MMResult query(unsigned, const platform::WaveFormat&) const override {
        return platform::MMSYSERR_BADDEVICEID;
    }
    platform::MMResult open(std::unique_ptr<platform::WaveInStream>&, unsigned,
                            const platform::WaveFormat&, platform::WaveSignal&) override {
        return platform::MMSYSERR_BADDEVICEID;
    }
    std::string errorText(platform::MMResult, std::size_t) const override { return {}; }
};

// A buffer of 16-bit PCM holding a 1950 Hz tone, as the front end delivers it.
std::vector<char> toneBuffer(int samples) {
    std::vector<char> bytes;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < samples; ++i) {
        const auto v = static_cast<std::int16_t>(
            std::lround(16000.0 * std::sin(2.0 * pi * 1950.0 * i / sampleRate)));
        const auto word = static_cast<std::uint16_t>(v);
        bytes.push_back(static_cast<char>(word & 0xFF));
        bytes.push_back(static_cast<char>(word >> 8));
    }
    return bytes;
}

void bufferAnalysis(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    NoWaveInput device;
    const acquisition::RecorderM16 recorder(device, n, sampleRate);
    acquisition::SpectrumAnalyzer analyzer(n, sampleRate);
    const std::vector<char> buffer = toneBuffer(n);
    for (auto _ : state) {
        acquisition::SampleCursor cursor(buffer.data(), recorder, n);
        analyzer.loadBlock(cursor);
        analyzer.transform();
        benchmark::DoNotOptimize(acquisition::estimateValue(analyzer));
    }
    state.SetItemsProcessed(state.iterations());
}

void transformOnly(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    NoWaveInput device;
    const acquisition::RecorderM16 recorder(device, n, sampleRate);
    acquisition::SpectrumAnalyzer analyzer(n, sampleRate);
    const std::vector<char> buffer = toneBuffer(n);
    for (auto _ : state) {
        state.PauseTiming();
        acquisition::SampleCursor cursor(buffer.data(), recorder, n);
        analyzer.loadBlock(cursor);
        state.ResumeTiming();
        analyzer.transform();
        benchmark::ClobberMemory();
    }
}

struct FftwFree {
    void operator()(fftw_complex* p) const { fftw_free(p); }
};
struct FftwPlanDestroy {
    void operator()(fftw_plan_s* p) const { fftw_destroy_plan(p); }
};
using FftwArray = std::unique_ptr<fftw_complex[], FftwFree>;
using FftwPlan = std::unique_ptr<fftw_plan_s, FftwPlanDestroy>;

FftwArray fftwArray(int n) {
    return FftwArray(fftw_alloc_complex(static_cast<std::size_t>(n)));
}

// FFTW's out-of-place complex transform, planned with FFTW_MEASURE before the
// timed loop; the input is the same tone, real parts only.
void fftwComplex(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const FftwArray in = fftwArray(n);
    const FftwArray out = fftwArray(n);
    const FftwPlan plan(fftw_plan_dft_1d(n, in.get(), out.get(), FFTW_FORWARD, FFTW_MEASURE));
    const double pi = std::acos(-1.0);
    for (int i = 0; i < n; ++i) {
        in[i][0] = std::round(16000.0 * std::sin(2.0 * pi * 1950.0 * i / sampleRate));
        in[i][1] = 0.0;
    }
    for (auto _ : state) {
        fftw_execute(plan.get());
        benchmark::DoNotOptimize(out[1][0]);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(bufferAnalysis)->RangeMultiplier(2)->Range(1024, 8192)->Unit(benchmark::kMicrosecond);
BENCHMARK(fftwComplex)->RangeMultiplier(2)->Range(1024, 8192)->Unit(benchmark::kMicrosecond);
BENCHMARK(transformOnly)->RangeMultiplier(2)->Range(1024, 8192)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
