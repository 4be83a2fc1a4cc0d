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

    // On paper, as an electrocardiograph draws: how many millimetres above
    // the baseline a value goes when `level` lies on the baseline, on a
    // recording's scale of `valuesPerMillivolt`.
    static double millimetresAbove(double value, double level, double millimetresPerMillivolt,
                                   double valuesPerMillivolt);
    // The gain that a screen trace factor stands for: the gain list's 3.7,
    // 7.4 and 14.8 are its "5", "10" and "20 mm/mV".
    static double millimetresPerMillivolt(double gainFactor);
};

}  // namespace render
