#pragma once

#include "ChangeOutcome.h"
#include "RecordingCommit.h"
#include "StoredRecording.h"

namespace records {

// The working recording replaced by a staged new version, as SAVE of a
// stretch and an opened tone recording replace it: the working recording
// and slot `slot` kept for Ctrl+Z; the slot's copy staged from the staged
// files (`staged` must be written under a temporary name of its own, such
// as "tmppt.txt", so that they read as a recording); what both will leave
// promised to the undo; then the working recording committed, and the slot
// on its own. Unless Done, the working recording is as it was; the
// outcome's `slot` says what became of the slot.
ChangeOutcome replaceWorkingRecording(RecordingCommit& staged, int slot,
                                      const Inference& inference);

}  // namespace records
