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

double toneProminence(const SpectrumAnalyzer& spectrum) {
    const int half = spectrum.fftPoints() / 2;
    constexpr int run = 256;
    // The tone's line spreads over a few bins (taper and modulation).
    constexpr int guard = 4;
    std::array<double, run> magnitudes{};
    double total = 0.0;
    double peakValue = -1.0;
    int peak = 0;
    for (int first = 1; first < half; first += run) {
        const int count = std::min(run, half - first);
        spectrum.magnitudes(first, count, magnitudes.data());
        for (int i = 0; i < count; ++i) {
            const double m = magnitudes[static_cast<std::size_t>(i)];
            total += m;
            if (m > peakValue) {
                peakValue = m;
                peak = first + i;
            }
        }
    }
    const int lo = std::max(1, peak - guard);
    const int hi = std::min(half - 1, peak + guard);
    double near = 0.0;
    for (int k = lo; k <= hi; ++k) {
        near += spectrum.magnitude(k);
    }
    const int rest = (half - 1) - (hi - lo + 1);
    const double restMean = rest > 0 ? (total - near) / rest : 0.0;
    if (!(peakValue > 0.0)) {
        return 0.0;
    }
    if (!(restMean > 0.0)) {
        return 1e9;
    }
    return peakValue / restMean;
}

}  // namespace acquisition
