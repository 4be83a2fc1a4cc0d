#pragma once

#include "Controller.h"

namespace app {

// The window's own scroll bar chooses which five of the twenty panes the
// five display slots show. The panes move with their pictures; those that
// leave the window are marked out of view and hidden.
void handlePaneScroll(Controller& controller, int request);

// The first visible pane a request leads to from g, or g when the request is
// refused or moves nothing.
int paneScrollTarget(int g, int request);

}  // namespace app
