#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ChangeOutcome.h"
#include "RecordingCommit.h"
#include "StoredRecording.h"

namespace records {

// FILTER's new version of the working recording, staged and not yet
// committed: every value with its baseline wander removed (BaselineFilter,
// at the recording's own rate), stored under "RECf.txt" with +1000 on even
// and -1000 on odd lines; its companion filtered alike at ten times the
// rate when it has one that belongs; its facts saying how it was filtered.
// It keeps the record's time. `filtered` receives the filtered values (their
// marker off), to be shown; `reason` why nothing was staged.
std::unique_ptr<RecordingCommit> stageFilteredRecording(const Inference& inference,
                                                        std::vector<double>& filtered,
                                                        std::string& reason);

// FILTER as the window runs it: the working recording kept for Ctrl+Z, its
// filtered version staged, what it will leave promised to the undo, then
// committed. On Done and Incomplete Ctrl+Z puts the working recording back;
// on anything else it is as it was and there is nothing to undo.
ChangeOutcome filterWorkingRecording(const Inference& inference, std::vector<double>& filtered);

}  // namespace records
