#include "RecordEncoding.h"

#include <cmath>

#include "FrontEndCalibration.h"

namespace records {

namespace {

// The level of the front end's carrier, around which an ECG lies.
constexpr double baseline = calibration::zeroLevel;
constexpr double plainLimit = captureMarker / 2.0;

double removeMarker(double v, double marker) {
    const double half = marker / 2.0;
    if (v < -half) {
        v += marker;
    }
    if (v > half) {
        v -= marker;
    }
    return v;
}

}  // namespace

double decodeValue(double stored, Encoding encoding) {
    switch (encoding) {
        case Encoding::Capture744:
            return removeMarker(stored, captureMarker);
        case Encoding::Filter1000:
            return removeMarker(stored, filterMarker);
        case Encoding::Plain:
            break;
    }
    return stored;
}

Encoding detectEncoding(std::span<const double> stored) {
    double captureDistance = 0.0;
    double filterDistance = 0.0;
    bool marked = false;
    for (const double v : stored) {
        if (std::abs(v) <= plainLimit) {
            continue;
        }
        marked = true;
        captureDistance += std::abs(decodeValue(v, Encoding::Capture744) - baseline);
        filterDistance += std::abs(decodeValue(v, Encoding::Filter1000) - baseline);
    }
    if (!marked) {
        return Encoding::Plain;
    }
    return filterDistance < captureDistance ? Encoding::Filter1000 : Encoding::Capture744;
}

Encoding decodeRecord(std::span<double> values) {
    const Encoding encoding = detectEncoding(values);
    for (double& v : values) {
        v = decodeValue(v, encoding);
    }
    return encoding;
}

}  // namespace records
