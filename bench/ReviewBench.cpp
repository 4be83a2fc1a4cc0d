// What the user waits for while reviewing a recording, end to end with file
// input and output and drawing: one scroll step (the record display of five
// panes from a full working file of 10000 values) and one FILTER of a full
// working file, beside the time of loading that file alone. Each should take
// less than one frame (16 ms).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "acquisition/FrontEndSimulator.h"
#include "acquisition/Painter.h"
#include "bench/BenchDirectory.h"
#include "records/FilteredRecording.h"
#include "records/RecordBuffer.h"
#include "records/RecordFormat.h"
#include "records/SampleFile.h"
#include "render/EcgPane.h"

namespace {

using acquisition::Painter;

constexpr int paneWidth = 958;
constexpr int paneHeight = 124;
constexpr int fullRecord = records::RecordBuffer::capacity;

// A full working file as a capture stores it: an ECG-like trace with
// baseline wander, +744 and -744 on alternate values.
void writeFullRecord() {
    std::FILE* f = std::fopen(records::SampleFile::workingFileName, "w");
    if (f == nullptr) {
        throw std::runtime_error("cannot write the working file");
    }
    char text[records::valueTextSize];
    for (int i = 0; i < fullRecord; ++i) {
        const double ecg =
            57.2 + (i % 40 == 10 ? 25.0 : 2.0 * std::sin(i * 0.15)) + 10.0 * std::sin(i / 150.0);
        const double stored = ecg + (i % 2 == 0 ? 744.0 : -744.0);
        std::fwrite(text, 1, records::formatValue(stored, records::LineEnd::BlankNewline, text), f);
    }
    std::fclose(f);
}

// The main window's twenty panes and a capture worker over them.
class Review {
public:
    Review() : simulator_(acquisition::SimulatorSettings{}) {
        for (int i = 0; i < Painter::paneCount; ++i) {
            panes_.push_back(
                std::make_unique<render::EcgPane>(i, paneWidth, paneHeight, platform::Rect{}));
            list_[static_cast<std::size_t>(i)] = panes_.back().get();
        }
        painter_ = std::make_unique<Painter>(simulator_, nullptr, list_, 4096, 199680, 4096);
    }
    Painter& painter() { return *painter_; }
    render::EcgPane& pane(int i) { return *panes_[static_cast<std::size_t>(i)]; }

private:
    acquisition::FrontEndSimulator simulator_;
    std::vector<std::unique_ptr<render::EcgPane>> panes_;
    Painter::PaneList list_{};
    std::unique_ptr<Painter> painter_;
};

void BM_LoadFullRecord(benchmark::State& state) {
    const BenchDirectory directory;
    writeFullRecord();
    auto record = std::make_unique<records::RecordBuffer>();
    for (auto _ : state) {
        records::SampleFile::openRead(records::SampleFile::workingFileName);
        record->load(records::SampleFile{});
        benchmark::DoNotOptimize(record->count);
    }
}
BENCHMARK(BM_LoadFullRecord)->Unit(benchmark::kMillisecond);

void BM_ScrollStep(benchmark::State& state) {
    const BenchDirectory directory;
    writeFullRecord();
    Review review;
    int first = 0;
    for (auto _ : state) {
        review.painter().showRecording(first);
        first = (first + 1) % 16;
    }
}
BENCHMARK(BM_ScrollStep)->Unit(benchmark::kMillisecond);

void BM_FilterFullRecord(benchmark::State& state) {
    const BenchDirectory directory;
    Review review;
    for (auto _ : state) {
        state.PauseTiming();
        writeFullRecord();
        state.ResumeTiming();
        std::vector<double> filtered;
        std::string failure;
        const auto change =
            records::stageFilteredRecording(records::Inference{}, filtered, failure);
        if (change) {
            failure = change->commit();
        }
        if (!failure.empty()) {
            state.SkipWithError(failure.c_str());
            break;
        }
        review.painter().showFiltered(0, filtered);
    }
}
BENCHMARK(BM_FilterFullRecord)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
