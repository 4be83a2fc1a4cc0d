// The record reader alone, fast enough for millions of inputs: any bytes as
// the working recording, read as the program reads a record (lines of at most
// 99 characters, at most 10000 values), its values parsed and both encodings
// taken off; the same bytes as its high-rate companion, its facts and the
// undo's state, each read as the program reads it, and the whole recording
// read as every reader takes it. Every value that comes out is a finite
// number.

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "records/Companion.h"
#include "records/RecordBuffer.h"
#include "records/RecordEncoding.h"
#include "records/RecordFormat.h"
#include "records/SampleFile.h"
#include "records/StoredRecording.h"
#include "records/UndoStore.h"

namespace {

class Directory {
public:
    Directory() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "trelmont-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) {
            std::abort();
        }
        path_ = pattern;
    }
    ~Directory() {
        records::SampleFile::close();
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

private:
    std::filesystem::path path_;
};

void writeFile(const char* name, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(name, "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size)) {
        std::abort();
    }
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Directory directory;
    static auto record = std::make_unique<records::RecordBuffer>();
    writeFile(records::SampleFile::workingFileName, data, size);
    records::SampleFile::openRead(records::SampleFile::workingFileName);
    record->load(records::SampleFile{});
    if (record->count < 0 || record->count > records::RecordBuffer::capacity) {
        std::abort();
    }
    const std::span<double> values(record->samples.data(), static_cast<std::size_t>(record->count));
    records::decodeRecord(values);
    for (const double v : values) {
        if (!std::isfinite(v)) {
            std::abort();
        }
    }
    // The same bytes as the record's companion, its facts and the undo's
    // state. The companion is used only whole, ten finite values for every
    // value of the record.
    for (const char* name : {"REC.hr.txt", "REC.info.txt", records::UndoStore::stateName}) {
        writeFile(name, data, size);
    }
    records::StoredRecording recording;
    static_cast<void>(records::readRecording(records::SampleFile::workingFileName,
                                             records::Inference{}, recording));
    const std::size_t perLine = records::companionValuesPerLine;
    if (!recording.companion.empty() &&
        recording.companion.size() != recording.values.size() * perLine) {
        std::abort();
    }
    for (const double v : recording.companion) {
        if (!std::isfinite(v)) {
            std::abort();
        }
    }
    if (!(recording.facts.valuesPerSecond > 0.0) || !std::isfinite(recording.durationSeconds())) {
        std::abort();
    }
    static_cast<void>(records::UndoStore::available());
    // Each line on its own, as the copies between record files read it.
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!std::isfinite(records::parseValue(text))) {
        std::abort();
    }
    return 0;
}
