#include "ValueEstimate.h"

#include <algorithm>
#include <array>
#include <limits>

#include "CaptureDefaults.h"
#include "SpectrumAnalyzer.h"
#include "records/FrontEndCalibration.h"

namespace acquisition {

double peakDelta(int lo, int hi) {
    if (hi + lo == 0) {
        return 0.0;
    }
    return static_cast<double>(hi - lo) / static_cast<double>(hi + lo) / 2.0;
}

PeakReading readPeak(const SpectrumAnalyzer& spectrum) {
    const int half = spectrum.fftPoints() / 2;
    // The tone's line spreads over a few bins (taper and modulation).
    constexpr int guard = 4;
    int peak = 0;
    int maximum = 0;
    double total = 0.0;
    double strongest = 0.0;
    // The magnitudes come a run at a time, which lets the analyzer compute
    // several at once; the search itself goes bin by bin, on the truncated
    // magnitudes, the later bin winning on equal ones.
    constexpr int run = 256;
    std::array<double, run> magnitudes{};
    for (int first = 0; first < half; first += run) {
        const int count = std::min(run, half - first);
        spectrum.magnitudes(first, count, magnitudes.data());
        for (int i = 0; i < count; ++i) {
            const double magnitude = magnitudes[static_cast<std::size_t>(i)];
            const int m = static_cast<int>(magnitude);
            if (m >= maximum) {
                maximum = m;
                peak = first + i;
                strongest = magnitude;
            }
            total += magnitude;
        }
    }
    PeakReading reading;
    double delta = 0.0;
    if (peak > 0) {
        const int lo = static_cast<int>(spectrum.magnitude(peak - 1));
        const int hi = static_cast<int>(spectrum.magnitude(peak + 1));
        delta = peakDelta(lo, hi);
    }
    // On the scale of the default settings, whatever rate is chosen.
    reading.value = (peak + delta) * defaults::sampleRate / defaults::fftPoints /
                    records::calibration::hertzPerValue;
    // The peak against the mean of the bins away from it.
    double near = 0.0;
    const int lo = std::max(0, peak - guard);
    const int hi = std::min(half - 1, peak + guard);
    for (int k = lo; k <= hi; ++k) {
        near += spectrum.magnitude(k);
    }
    const int rest = half - (hi - lo + 1);
    const double restMean = rest > 0 ? (total - near) / rest : 0.0;
    if (!(strongest > 0.0)) {
        reading.prominence = 0.0;
    } else if (!(restMean > 0.0)) {
        reading.prominence = std::numeric_limits<double>::infinity();
    } else {
        reading.prominence = strongest / restMean;
    }
    return reading;
}

double estimateValue(const SpectrumAnalyzer& spectrum) {
    return readPeak(spectrum).value;
}

}  // namespace acquisition
