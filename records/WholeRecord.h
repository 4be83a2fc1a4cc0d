#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

namespace records {

// A record file read to its end, not only as far as a RecordBuffer holds
// it: what the EDF+ export writes, and what a companion is checked against.
struct WholeRecord {
    // A record file longer than this is not read (no recording comes near).
    static constexpr std::size_t maxValues = 1'000'000;

    // The values as stored, their encoding still on.
    std::vector<double> values;
    // The file's modification time: when its last value was stored.
    std::timespec lastStored{};
};

// Reads every value of the regular file at `path` into `record`. Empty on
// success, otherwise why not (no values is a reason too).
std::string readWholeRecord(const std::string& path, WholeRecord& record);

// The companion of the record file at `recordPath` when it belongs to all of
// the record's values (their encoding taken off), cut to its first `lines`
// lines; empty when there is none that belongs.
std::vector<double> wholeRecordCompanion(const std::string& recordPath, std::size_t lines);

}  // namespace records
