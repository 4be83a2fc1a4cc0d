// One captured buffer's analysis as the capture worker runs it (taper and load
// the window, transform, search the peak over the lower half), against FFTW's
// transforms of the same size as the yardstick: the complex one (c2c) and the
// real-input one (r2c), which is the fair comparison for real audio. After the
// runs a table gives bufferAnalysis over each of them, size by size (the
// median of the repetitions where --benchmark_repetitions asks for several).

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
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
struct FftwFreeReal {
    void operator()(double* p) const { fftw_free(p); }
};
using FftwArray = std::unique_ptr<fftw_complex[], FftwFree>;
using FftwRealArray = std::unique_ptr<double[], FftwFreeReal>;
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

// FFTW's out-of-place real-input transform (N real samples to N/2 + 1 bins),
// planned with FFTW_MEASURE before the timed loop, on the same tone.
void fftwReal(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const FftwRealArray in(fftw_alloc_real(static_cast<std::size_t>(n)));
    const FftwArray out = fftwArray(n / 2 + 1);
    const FftwPlan plan(fftw_plan_dft_r2c_1d(n, in.get(), out.get(), FFTW_MEASURE));
    const double pi = std::acos(-1.0);
    for (int i = 0; i < n; ++i) {
        in[i] = std::round(16000.0 * std::sin(2.0 * pi * 1950.0 * i / sampleRate));
    }
    for (auto _ : state) {
        fftw_execute(plan.get());
        benchmark::DoNotOptimize(out[1][0]);
    }
    state.SetItemsProcessed(state.iterations());
}

// The console report as usual, with every run's time kept for the table.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                times_[run.run_name.function_name][run.run_name.args].push_back(
                    run.GetAdjustedRealTime());
            }
        }
        ConsoleReporter::ReportRuns(reports);
    }

    // The median time of one benchmark at one size; 0 when it did not run.
    double median(const std::string& name, int n) const {
        const auto family = times_.find(name);
        if (family == times_.end()) {
            return 0.0;
        }
        const auto size = family->second.find(std::to_string(n));
        if (size == family->second.end() || size->second.empty()) {
            return 0.0;
        }
        std::vector<double> times = size->second;
        std::sort(times.begin(), times.end());
        const std::size_t middle = times.size() / 2;
        return times.size() % 2 == 1 ? times[middle] : (times[middle - 1] + times[middle]) / 2.0;
    }

private:
    std::map<std::string, std::map<std::string, std::vector<double>>> times_;
};

}  // namespace

BENCHMARK(bufferAnalysis)->RangeMultiplier(2)->Range(1024, 8192)->Unit(benchmark::kMicrosecond);
BENCHMARK(fftwComplex)->RangeMultiplier(2)->Range(1024, 8192)->Unit(benchmark::kMicrosecond);
BENCHMARK(fftwReal)->RangeMultiplier(2)->Range(1024, 8192)->Unit(benchmark::kMicrosecond);
BENCHMARK(transformOnly)->RangeMultiplier(2)->Range(1024, 8192)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%6s %16s %12s %12s %16s %16s\n", "N", "bufferAnalysis", "FFTW c2c", "FFTW r2c",
                "analysis/c2c", "analysis/r2c");
    for (const int n : {1024, 2048, 4096, 8192}) {
        const double analysis = reporter.median("bufferAnalysis", n);
        const double c2c = reporter.median("fftwComplex", n);
        const double r2c = reporter.median("fftwReal", n);
        if (analysis <= 0.0 || c2c <= 0.0 || r2c <= 0.0) {
            continue;
        }
        std::printf("%6d %13.2f us %9.2f us %9.2f us %16.2f %16.2f\n", n, analysis, c2c, r2c,
                    analysis / c2c, analysis / r2c);
    }
    return 0;
}
