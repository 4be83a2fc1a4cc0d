#pragma once

#include "platform/Geometry.h"

namespace render {

// Where and how one strip goes on paper: its band in printer pixels, how far
// the trace advances per sample, and the screen pane whose picture it
// reproduces (its size, gain and trace offset) with the printer pixels that
// one screen pixel becomes vertically.
struct StripLayout {
    platform::Rect band;
    double pixelsPerSample = 1.0;
    platform::Rect paneRect;
    double gainFactor = 3.7;
    float traceOffset = 1.9f;
    double verticalScale = 1.0;
};

}  // namespace render
