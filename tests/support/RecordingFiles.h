#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <span>
#include <string>

#include "records/Companion.h"
#include "records/StoredRecording.h"

namespace testsupport {

// Writes `values` (ten to a line) as the companion of `record`, as the
// capture worker writes it.
inline bool writeCompanion(const std::string& record, std::span<const double> values) {
    std::FILE* out = std::fopen(records::companionPath(record).c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    char text[records::companionLineSize];
    for (std::size_t k = 0; k + records::companionValuesPerLine <= values.size();
         k += records::companionValuesPerLine) {
        const std::size_t length =
            records::formatCompanionLine(values.subspan(k, records::companionValuesPerLine), text);
        std::fwrite(text, 1, length, out);
    }
    return std::fclose(out) == 0;
}

// Gives the file at `path` the modification time `time`.
inline void setModificationTime(const std::string& path, const std::timespec& time) {
    const std::timespec times[2] = {time, time};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The recording at `record` as every reader takes it (default settings).
inline records::StoredRecording readStored(const std::string& record) {
    records::StoredRecording recording;
    records::readRecording(record, records::Inference{}, recording);
    return recording;
}

}  // namespace testsupport
