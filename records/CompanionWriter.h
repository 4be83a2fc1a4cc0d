#pragma once

#include <array>
#include <cstdio>
#include <span>
#include <string>

#include "Companion.h"

namespace records {

// The capture worker's handle on the companion of the working recording: it
// appends one line of ten values before each value it stores, each line
// handed to the system at once, so a killed program leaves the companion at
// most one line ahead of its record. Owned by the capture worker's object
// and used under its lock; allocates nothing once open.
class CompanionWriter {
public:
    CompanionWriter() = default;
    ~CompanionWriter() { close(); }
    CompanionWriter(const CompanionWriter&) = delete;
    CompanionWriter& operator=(const CompanionWriter&) = delete;

    // Opens the companion at `path` of the record at `recordPath` empty,
    // creating it no wider open than the record. 0, or the system's error
    // number (a path that is not a regular file is refused, as a device or
    // a pipe may never take the values, and a link is never followed).
    int open(const std::string& path, const std::string& recordPath);
    // Appends one line of ten values. 0, or the system's error number when it
    // could not be written whole: the file is then cut back to where the
    // line began.
    int append(std::span<const double> tenValues);
    // Cuts the last line appended off again (its value could not be stored).
    void takeBackLast();
    void close();
    bool isOpen() const { return file_ != nullptr; }

private:
    std::FILE* file_ = nullptr;
    // The file's length, and where the last line appended began.
    long size_ = 0;
    long lastLineStart_ = -1;
    std::array<char, companionLineSize> text_{};
};

}  // namespace records
