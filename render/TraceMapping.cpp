#include "TraceMapping.h"

#include <cmath>

#include "records/FrontEndCalibration.h"
#include "render/TraceFactors.h"

namespace render {

double TraceMapping::base(const platform::Rect& rect, float offset) {
    const int centre = rect.top + (rect.bottom - rect.top) / 2;
    return static_cast<double>(centre) + static_cast<double>(offset);
}

double TraceMapping::y(const platform::Rect& rect, float offset, double gainFactor, double value) {
    const double b = base(rect, offset);
    return b - (value - b) * gainFactor + (2.1 - gainFactor) * 0.5;
}

double TraceMapping::millimetresAbove(double value, double level, double millimetresPerMillivolt,
                                      double valuesPerMillivolt) {
    const double scale =
        valuesPerMillivolt > 0.0 ? valuesPerMillivolt : records::calibration::perMillivolt;
    return (value - level) / scale * millimetresPerMillivolt;
}

double TraceMapping::millimetresPerMillivolt(double gainFactor) {
    // To a tenth, so that 7.4 reads as 10 and not as 10.000000000000002.
    return std::round(gainFactor / factors::gain5 * 5.0 * 10.0) / 10.0;
}

}  // namespace render
