#include "WholeRecord.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "Companion.h"
#include "RecordEncoding.h"
#include "RecordFormat.h"

namespace records {

std::string readWholeRecord(const std::string& path, WholeRecord& record) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return path + " cannot be read: " + std::strerror(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return path + " is not a regular file";
    }
    record.lastStored = info.st_mtim;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return path + " cannot be read";
    }
    std::string line;
    while (std::getline(in, line)) {
        if (record.values.size() >= WholeRecord::maxValues) {
            return path + " holds more values than any recording";
        }
        record.values.push_back(parseValue(line));
    }
    if (in.bad()) {
        return path + " cannot be read";
    }
    if (record.values.empty()) {
        return path + " holds no values";
    }
    return {};
}

std::vector<double> wholeRecordCompanion(const std::string& recordPath, std::size_t lines) {
    WholeRecord record;
    if (!readWholeRecord(recordPath, record).empty()) {
        return {};
    }
    decodeRecord(record.values);
    std::vector<double> companion = loadCompanion(recordPath, record.values);
    const std::size_t kept =
        std::min(companion.size(), lines * static_cast<std::size_t>(companionValuesPerLine));
    companion.resize(kept);
    return companion;
}

}  // namespace records
