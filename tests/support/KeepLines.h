#pragma once

#include "records/PartialSave.h"

namespace records {

// A stretch of the working recording kept alone, without the slot and the
// undo "SAVE" takes along: stageStretch(), then the commit.
inline PartialSaveOutcome keepLines(LineRange range, const Inference& inference = {}) {
    PartialSaveOutcome outcome;
    const std::unique_ptr<RecordingCommit> stretch = stageStretch(range, inference, outcome);
    if (stretch) {
        outcome.reason = stretch->commit();
        if (!outcome.reason.empty()) {
            outcome.status = PartialSaveOutcome::Status::Failed;
        }
    }
    return outcome;
}

}  // namespace records
