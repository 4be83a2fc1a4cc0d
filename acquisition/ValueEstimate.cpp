#include "ValueEstimate.h"

#include "SpectrumAnalyzer.h"

namespace acquisition {

double peakDelta(int lo, int hi) {
    if (hi + lo == 0) {
        return 0.0;
    }
    return static_cast<double>(hi - lo) / static_cast<double>(hi + lo) / 2.0;
}

double estimateValue(const SpectrumAnalyzer& spectrum) {
    const int half = spectrum.fftPoints() / 2;
    int peak = 0;
    int maximum = 0;
    for (int k = 0; k < half; ++k) {
        const int m = static_cast<int>(spectrum.magnitude(k));
        if (m >= maximum) {
            maximum = m;
            peak = k;
        }
    }
    double delta = 0.0;
    if (peak > 0) {
        const int lo = static_cast<int>(spectrum.magnitude(peak - 1));
        const int hi = static_cast<int>(spectrum.magnitude(peak + 1));
        delta = peakDelta(lo, hi);
    }
    return (peak + delta) * 199680.0 / 4096.0 / 30.0;
}

}  // namespace acquisition
