// The record reader alone, fast enough for millions of inputs: any bytes as
// the working recording, read as the program reads a record (lines of at most
// 99 characters, at most 10000 values), its values parsed and both encodings
// taken off; the same bytes as its high-rate companion, read and checked
// against the record. Every value that comes out is a finite number.

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Directory directory;
    static auto record = std::make_unique<records::RecordBuffer>();
    std::FILE* f = std::fopen(records::SampleFile::workingFileName, "wb");
    if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size)) {
        std::abort();
    }
    std::fclose(f);
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
    // The same bytes as the record's companion: used only whole, ten finite
    // values for every value of the record.
    std::FILE* c = std::fopen("REC.hr.txt", "wb");
    if (c == nullptr || (size > 0 && std::fwrite(data, 1, size, c) != size)) {
        std::abort();
    }
    std::fclose(c);
    const std::vector<double> companion =
        records::loadCompanion(records::SampleFile::workingFileName, values);
    if (!companion.empty() && companion.size() != values.size() * records::companionValuesPerLine) {
        std::abort();
    }
    for (const double v : companion) {
        if (!std::isfinite(v)) {
            std::abort();
        }
    }
    // Each line on its own, as the copies between record files read it.
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!std::isfinite(records::parseValue(text))) {
        std::abort();
    }
    return 0;
}
