// Every record the program reads may come from another machine, an editor or
// a broken disk. This target takes any bytes as the working recording and
// sends them down the path a recording takes: loading and drawing with the
// encodings taken off, FILTER, SAVE of a stretch, the copy into a slot and
// the EDF+ export of the slot. Nothing may crash, hang or leak.

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "acquisition/FrontEndSimulator.h"
#include "acquisition/Painter.h"
#include "records/EdfExport.h"
#include "records/FilteredRecording.h"
#include "records/PartialSave.h"
#include "records/RecordCopy.h"
#include "records/SampleFile.h"
#include "render/EcgPane.h"
#include "tests/support/KeepLines.h"

namespace {

// Small panes: the same arithmetic with less paper to draw per input.
constexpr int paneWidth = 120;
constexpr int paneHeight = 30;

// The panes of the main window and a capture worker over them, in a
// directory of the fuzzer's own.
class Harness {
public:
    Harness() : simulator_(acquisition::SimulatorSettings{}) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "trelmont-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) {
            std::abort();
        }
        directory_ = pattern;
        for (int i = 0; i < acquisition::Painter::paneCount; ++i) {
            panes_[static_cast<std::size_t>(i)] =
                std::make_unique<render::EcgPane>(i, paneWidth, paneHeight, platform::Rect{});
            list_[static_cast<std::size_t>(i)] = panes_[static_cast<std::size_t>(i)].get();
        }
        painter_ =
            std::make_unique<acquisition::Painter>(simulator_, nullptr, list_, 4096, 199680, 4096);
    }
    ~Harness() {
        painter_.reset();
        records::SampleFile::close();
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;
    acquisition::Painter& painter() { return *painter_; }

private:
    std::filesystem::path directory_;
    acquisition::FrontEndSimulator simulator_;
    std::array<std::unique_ptr<render::EcgPane>, acquisition::Painter::paneCount> panes_;
    acquisition::Painter::PaneList list_{};
    std::unique_ptr<acquisition::Painter> painter_;
};

void writeWorkingFile(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(records::SampleFile::workingFileName, "wb");
    if (f == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::abort();
    }
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness harness;
    writeWorkingFile(data, size);
    const int first = size > 0 ? data[0] : 0;
    const int last = size > 1 ? data[1] * 40 : 0;
    acquisition::Painter& painter = harness.painter();
    painter.showRecording(0);
    painter.showRecording(first % acquisition::Painter::paneCount);
    std::vector<double> filtered;
    std::string reason;
    if (const auto change =
            records::stageFilteredRecording(records::Inference{}, filtered, reason)) {
        (void)change->commit();
        painter.showFiltered(0, filtered);
    }
    painter.showRecording(0);
    (void)records::keepLines({first, last});
    (void)records::copyRecordFile("REC1.txt", records::SampleFile::workingFileName);
    (void)records::EdfExport(199680, 4096).write("REC1.txt", "out.edf");
    return 0;
}
