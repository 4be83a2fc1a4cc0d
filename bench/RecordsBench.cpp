// Loading a full working file, and the three baseline-filter steps over the
// longest record they take.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench/BenchDirectory.h"
#include "records/BaselineFilter.h"
#include "records/RecordBuffer.h"
#include "records/RecordFormat.h"
#include "records/SampleFile.h"

namespace {

// A recording as the capture stores it: a wandering ECG-like level around
// 57.2 plus or minus 744 on alternate lines.
double recordedValue(int i) {
    const double wander = 4.0 * std::sin(i / 300.0);
    const double beat = (i % 40 < 3) ? 8.0 : 0.0;
    return 57.2 + wander + beat + (i % 2 == 0 ? 744.0 : -744.0);
}

void loadFullRecord(benchmark::State& state) {
    const BenchDirectory directory;
    for (int i = 0; i < records::RecordBuffer::capacity; ++i) {
        char text[records::valueTextSize];
        const std::size_t length =
            records::formatValue(recordedValue(i), records::LineEnd::BlankNewline, text);
        records::SampleFile::writeText(std::string_view(text, length));
    }
    records::SampleFile::close();

    auto record = std::make_unique<records::RecordBuffer>();
    for (auto _ : state) {
        record->load(records::SampleFile());
        benchmark::DoNotOptimize(record->samples[9999]);
    }
    if (record->count != records::RecordBuffer::capacity) {
        state.SkipWithError("the record did not load whole");
    }
}

// The baseline filter over a full record with a wandering baseline and level
// steps, as long as a pane's record holds.
void filterLongestRecord(benchmark::State& state) {
    constexpr int n = records::RecordBuffer::capacity;
    std::vector<double> record(n);
    for (int i = 0; i < n; ++i) {
        const double step = (i / 1500) % 2 == 0 ? 0.0 : 12.0;
        record[static_cast<std::size_t>(i)] = recordedValue(i) + step;
    }
    for (auto _ : state) {
        const std::vector<double> filtered = records::BaselineFilter::apply(record);
        benchmark::DoNotOptimize(filtered[100]);
    }
}

}  // namespace

BENCHMARK(loadFullRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(filterLongestRecord)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
