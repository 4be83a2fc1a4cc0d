#pragma once

#include "Controller.h"

namespace app {

// The mouse selection: a drag across the shown panes marks a stretch of the
// strips, shown inverted pane by pane; "SAVE" keeps only that stretch.

inline constexpr int abovePanes = -1;
inline constexpr int belowPanes = -2;
inline constexpr int besidePanes = -3;

// The index of the shown pane strictly containing the point; abovePanes or
// belowPanes when the point lies above or below the strip area, besidePanes
// otherwise.
int hitTestPane(const Controller& controller, int x, int y);
// The first pane whose place in the template strictly contains the point, -1
// for none.
int hitTestHomePane(const Controller& controller, int x, int y);

// Removes every band and forgets the end points.
void clearSelection(Controller& controller);

// One mouse move while the button is held, at (x, y) in pane p. The first
// move starts a band of 20 pixels; later moves run the band's moving edge to
// the pointer, within a pane and across panes.
void trackSelection(Controller& controller, int p, bool& paneScrollRoute, bool selecting, int x,
                    int y);

// "SAVE": replaces the working recording with the marked stretch of the
// panes the user sees, stores it in the checked slot and shows it again.
// Refused while a recording runs; an empty stretch keeps the recording.
void saveSelection(Controller& controller);

}  // namespace app
