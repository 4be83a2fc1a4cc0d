#pragma once

#include "Controller.h"

namespace app {

// Hit-testing the shown panes and the selection state the mouse handlers keep.

inline constexpr int abovePanes = -1;
inline constexpr int belowPanes = -2;
inline constexpr int besidePanes = -3;

// The index of the shown pane strictly containing the point; abovePanes or
// belowPanes when the point lies above or below the strip area, besidePanes
// otherwise.
int hitTestPane(const Controller& controller, int x, int y);

// Removes the selection: every pane's bounds and the kept end points.
void clearSelection(Controller& controller);

// The drag that marks a stretch and the "SAVE" that keeps it come with the
// review of recordings; until then a drag marks nothing and "SAVE" keeps the
// recording as it is.
void trackSelection(Controller& controller, int pane, bool& paneScrollRoute, bool selecting, int x,
                    int y);
void saveSelection(Controller& controller, int scrollPosition);
// "SAVE  RECORDED": hands a copy of slot 1 to a file the user chooses.
void saveRecordedCopy(Controller& controller);

}  // namespace app
