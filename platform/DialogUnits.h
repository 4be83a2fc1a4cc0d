#pragma once

#include "Geometry.h"

namespace platform {

// Dialog units turn into pixels at 3/2 horizontally and 13/8 vertically (the
// base units of the dialog font the layout was drawn with, at 96 dpi). Control
// positions and sizes are truncated, so a pane of 640 x 78 units is 960 x 126
// pixels; the dialog's own size is rounded (685 x 455 units: 1028 x 739).
inline int dialogUnitsToPixelsX(int units) {
    return units * 3 / 2;
}

inline int dialogUnitsToPixelsY(int units) {
    return units * 13 / 8;
}

inline Rect dialogRectToPixels(int x, int y, int width, int height) {
    const int left = dialogUnitsToPixelsX(x);
    const int top = dialogUnitsToPixelsY(y);
    return {left, top, left + dialogUnitsToPixelsX(width), top + dialogUnitsToPixelsY(height)};
}

inline int dialogWidthToPixels(int units) {
    return (units * 3 + 1) / 2;
}

inline int dialogHeightToPixels(int units) {
    return (units * 13 + 4) / 8;
}

}  // namespace platform
