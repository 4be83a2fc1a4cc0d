#pragma once

#include <optional>
#include <string>

#include "RecordingCommit.h"

namespace records {

// One step back from the last SAVE or FILTER. Before either changes the
// working recording (and SAVE the checked slot), copies of both as they are
// go beside them on disk, every file byte for byte (the record with its
// time, which its companion and facts take too), so that
// neither a slip of the mouse nor a crash loses the rest of a recording:
//   "REC.undo.txt"       the working recording before the change (with
//                        "REC.undo.hr.txt" and "REC.undo.info.txt"),
//   "REC.undo.slot.txt"  the slot before the change (with its companion and
//                        facts; absent if it was),
//   "REC.undo.state"     which slot, and what each recording held before
//                        the change and will hold after it.
// The state is written whole before the change commits, with what the change
// will leave taken from its staged files; an undo puts a recording back only
// while it still holds one of the two (or the record of either alone, as a
// commit that failed after its record leaves it), and so can be tried again
// after a failure or a crash halfway: anything else that changed them since
// (a new recording, a slot load, a program outside) ends it. The copies are
// forgotten only once both are back.
class UndoStore {
public:
    static constexpr const char* recordCopyName = "REC.undo.txt";
    static constexpr const char* slotCopyName = "REC.undo.slot.txt";
    static constexpr const char* stateName = "REC.undo.state";
    // The slot of a change that touches only the working recording.
    static constexpr int noSlot = -1;

    // Keeps the working recording and slot `slot` as they are now, before a
    // change. Empty on success, otherwise why not: then the change must not
    // be made, and nothing was kept.
    static std::string keep(int slot);
    // Before the change commits: what it will leave, the working recording
    // and (for a change with a slot) the slot. Empty on success, otherwise
    // why not: then the change must not be made, and the copies are gone.
    static std::string promise(const RecordingState& record,
                               const std::optional<RecordingState>& slot);
    // Forgets the copies: the change can no longer be undone.
    static void forget();
    // Whether an undo would put something back now.
    static bool available();
    // A file an undo reads that is not a regular file (a pipe would never
    // end), in words naming it; empty when there is none.
    static std::string obstacle();
    // Puts the working recording and the slot back as they were before the
    // change, and then forgets the copies. Empty on success, otherwise why
    // not (the copies stay, and the undo can be tried again).
    static std::string restore();
};

// Copies every file of the recording at `source` (record, companion, facts)
// byte for byte with the record's time as the recording at `destination`,
// through the commit routine. Empty on success, otherwise why not.
std::string copyRecordingBytes(const std::string& destination, const std::string& source);

}  // namespace records
