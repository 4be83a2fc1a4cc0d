#pragma once

#include <string>

#include "RecordCopy.h"

namespace records {

// What became of a change the user makes to the working recording (FILTER,
// SAVE of a stretch), which Ctrl+Z can undo.
struct ChangeOutcome {
    // NotKept: the copies that let Ctrl+Z undo it could not be written, so
    // nothing was changed. Empty: SAVE's stretch held no values.
    // Incomplete: the new record is in place, but its companion or facts
    // could not follow it (they are gone, as they would not belong): the
    // recording changed, and Ctrl+Z puts it back.
    enum class Status { Done, NotKept, Empty, Incomplete, Failed };
    Status status = Status::Failed;
    // Why it was not done, in words for the user.
    std::string reason;
    // SAVE: the values kept, and the copy into the slot.
    int kept = 0;
    CopyOutcome slot;
};

}  // namespace records
