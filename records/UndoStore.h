#pragma once

#include <string>

namespace records {

// One step back from the last SAVE or FILTER. Before either replaces the
// working recording (and SAVE the checked slot), copies of both as they are
// go beside them on disk, byte for byte with their times, so that neither a
// slip of the mouse nor a crash loses the rest of a recording:
//   "REC.undo.txt"       the working recording before the change,
//   "REC.undo.slot.txt"  the slot before the change (absent if it was),
//   "REC.undo.state"     which slot, and what the change left behind,
// and the companions of the two beside their copies ("REC.undo.hr.txt",
// "REC.undo.slot.hr.txt"), put back with them.
// An undo puts both back only while they are still what the change left:
// anything else that changed them since (a new recording, a slot load, a
// program outside) ends it.
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
    // After the change: notes what it left, which an undo must find.
    static void seal();
    // Forgets the copies: the change can no longer be undone.
    static void forget();
    // Whether an undo would put something back now.
    static bool available();
    // Puts the working recording and the slot back as they were before the
    // change, and forgets the copies. Empty on success, otherwise why not.
    static std::string restore();
};

}  // namespace records
