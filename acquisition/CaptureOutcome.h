#pragma once

#include <string>

namespace acquisition {

// What became of a start or a reconfiguration of capture. The capture worker
// reports it under its lock; the window says it once the lock is free.
struct CaptureOutcome {
    enum class Status {
        Done,
        // The sound input refused; `reason` is its words.
        Refused,
        // The capture objects could not be built; `reason` is the exception's
        // text ("%s, Error %d", or "Unknown").
        Failed,
    };
    Status status = Status::Done;
    std::string reason;

    explicit operator bool() const { return status == Status::Done; }
};

}  // namespace acquisition
