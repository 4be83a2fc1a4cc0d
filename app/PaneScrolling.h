#pragma once

#include "Controller.h"

namespace app {

// The window's own scroll bar chooses which five of the twenty panes the
// five display slots show. The panes move with their pictures; those that
// leave the window are marked out of view and hidden. The wheel and the keys
// come here as the bar's requests; a thumb dragged or released brings its
// position (`position`, ignored by the other requests).
void handlePaneScroll(Controller& controller, int request, int position = 0);

// The first visible pane a request leads to from g, or g when the request is
// refused or moves nothing.
int paneScrollTarget(int g, int request, int position = 0);

// Gives every pane the stretch of the recording it shows as its accessible
// description ("0:09.4 to 0:18.9"), at the current chart speed.
void describePanes(Controller& controller);

}  // namespace app
