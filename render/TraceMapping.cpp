#include "TraceMapping.h"

namespace render {

double TraceMapping::base(const platform::Rect& rect, float offset) {
    const int centre = rect.top + (rect.bottom - rect.top) / 2;
    return static_cast<double>(centre) + static_cast<double>(offset);
}

double TraceMapping::y(const platform::Rect& rect, float offset, double gainFactor, double value) {
    const double b = base(rect, offset);
    return b - (value - b) * gainFactor + (2.1 - gainFactor) * 0.5;
}

}  // namespace render
