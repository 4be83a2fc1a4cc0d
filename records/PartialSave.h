#pragma once

#include <memory>
#include <string>

#include "ChangeOutcome.h"
#include "RecordingCommit.h"
#include "StoredRecording.h"

namespace records {

// One end of a marked stretch: the pane it lies in (0 to 19) and its x in
// the main window.
struct SelectionEnd {
    int pane = 0;
    int x = 0;
};

// Lines first ... last of the working recording, counted from 1.
struct LineRange {
    int first = 0;
    int last = 0;
    bool empty() const { return last < first; }
};

// The lines a stretch between two ends marks, the panes laid end to end from
// the record's first sample: each end's offset from the pane's left edge (at
// 2.5 pixels a millimetre of paper) becomes a sample count at `speedFactor`
// pixels a sample. The ends are ordered by pane and then by x, so a drag in
// either direction marks the same stretch. `paneWidth` and `paneLeft` are the
// pane's client width and its left edge in the main window.
LineRange markedLines(SelectionEnd a, SelectionEnd b, int paneWidth, int paneLeft,
                      double speedFactor);

struct PartialSaveOutcome {
    enum class Status { Saved, Empty, Failed };
    Status status = Status::Failed;
    int kept = 0;
    std::string reason;
};

// The working recording's lines `range` as its new version, staged and not
// yet committed: the record's values one "%f\n" line each (under
// "tmppt.txt"), the same lines of its companion when it has one that
// belongs, and its facts with the stretch's own start. An empty range, or
// one beyond the record's end, stages nothing (Empty). The stretch carries
// the time its own last value was stored: the record's time less the
// values after it.
std::unique_ptr<RecordingCommit> stageStretch(LineRange range, const Inference& inference,
                                              PartialSaveOutcome& outcome);

// SAVE as the window runs it: the working recording and slot `slot` kept
// for Ctrl+Z; the stretch staged, and the slot's copy of it staged from the
// staged files; what both will leave promised to the undo; then the working
// recording committed, and the slot on its own. Unless Done or Incomplete
// (the stretch's record is in place without its companion and facts, and
// the slot was left alone), the working recording is as it was; `slot` in
// the outcome says what became of the slot.
ChangeOutcome saveStretch(LineRange range, int slot, const Inference& inference = {});

}  // namespace records
