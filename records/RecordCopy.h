#pragma once

#include <string>

namespace records {

// What became of a copy between record files.
struct CopyOutcome {
    enum class Status { Copied, NoSource, Failed };
    Status status = Status::Failed;
    // Why it failed, in words for the user ("No space left on device").
    std::string reason;

    explicit operator bool() const { return status == Status::Copied; }
};

// Copies a record file value by value, normalising every line to "%f \n".
// The source is opened first: when it cannot be read the destination is left
// untouched, and a source that is not a regular file (a device, a pipe) is
// refused, since it may never end. The copy is written to a temporary file
// beside the destination, synced, and renamed over it only when complete, so
// a failed copy never leaves a half-written slot. The source's companion
// goes with it, cut to as many lines as the copy holds; a source without one
// leaves the destination without one.
CopyOutcome copyRecordFile(const std::string& destination, const std::string& source);

}  // namespace records
