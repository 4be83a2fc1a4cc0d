#include "UndoableReplace.h"

#include "RecordCopy.h"
#include "Slots.h"
#include "UndoStore.h"

namespace records {

ChangeOutcome replaceWorkingRecording(RecordingCommit& staged, int slot,
                                      const Inference& inference) {
    ChangeOutcome outcome;
    // Kept first: without a way back, the recording is not replaced.
    outcome.reason = UndoStore::keep(slot);
    if (!outcome.reason.empty()) {
        outcome.status = ChangeOutcome::Status::NotKept;
        return outcome;
    }
    // The slot's copy is made from the staged files, so that the undo knows
    // what both will hold before either changes.
    const std::unique_ptr<RecordingCommit> slotCopy =
        stageRecordCopy(slotFileName(slot), staged.temporaryRecord(), outcome.slot, inference);
    outcome.reason = UndoStore::promise(
        staged.stagedState(), slotCopy ? std::optional(slotCopy->stagedState()) : std::nullopt);
    if (outcome.reason.empty()) {
        outcome.reason = staged.commit();
    }
    if (!outcome.reason.empty() && staged.recordPlaced()) {
        // The new record replaced the one the undo keeps: the slot is left
        // as it was, and Ctrl+Z puts the working recording back.
        outcome.status = ChangeOutcome::Status::Incomplete;
        return outcome;
    }
    if (!outcome.reason.empty()) {
        UndoStore::forget();
        return outcome;
    }
    // The slot is a recording of its own, committed on its own.
    if (slotCopy) {
        outcome.slot = commitRecordCopy(*slotCopy);
    }
    outcome.status = ChangeOutcome::Status::Done;
    return outcome;
}

}  // namespace records
