#include "ValueEstimate.h"

#include <algorithm>
#include <array>

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
    // The magnitudes come a run at a time, which lets the analyzer compute
    // several at once; the search itself goes bin by bin.
    constexpr int run = 256;
    std::array<double, run> magnitudes{};
    for (int first = 0; first < half; first += run) {
        const int count = std::min(run, half - first);
        spectrum.magnitudes(first, count, magnitudes.data());
        for (int i = 0; i < count; ++i) {
            const int m = static_cast<int>(magnitudes[static_cast<std::size_t>(i)]);
            if (m >= maximum) {
                maximum = m;
                peak = first + i;
            }
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
