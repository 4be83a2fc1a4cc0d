#pragma once

#include "platform/Geometry.h"

namespace render {

// The one mapping from a sample value to a pixel row, shared by the screen,
// the printer and every trace operation: a larger value is drawn higher, and
// a value at the baseline (the pane's centre plus the trace offset) is drawn
// near the centre line.
struct TraceMapping {
    // centre = top + (bottom - top) / 2 (integer), base = centre + offset.
    static double base(const platform::Rect& rect, float offset);
    static double y(const platform::Rect& rect, float offset, double gainFactor, double value);
};

}  // namespace render
