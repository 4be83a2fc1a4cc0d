#include "ValueEstimate.h"

#include <algorithm>
#include <array>
#include <limits>

#include "SpectrumAnalyzer.h"

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
    double strongest = 0.0;
    // The magnitudes come a run at a time, which lets the analyzer compute
    // several at once. The peak is the last bin whose truncated magnitude is
    // the largest (the later bin winning on equal ones). Within a run the
    // search and the total go in eight interleaved parts, bin k in part
    // k mod 8: each part keeps its largest truncated magnitude and the last
    // bin that has it, and its sum; the parts are then combined, the sums in a
    // fixed order. That keeps eight operations in flight instead of one chain.
    constexpr int run = 256;
    constexpr int parts = 8;
    std::array<double, run> magnitudes;
    std::array<double, parts> partial{};
    for (int first = 0; first < half; first += run) {
        const int count = std::min(run, half - first);
        spectrum.magnitudes(first, count, magnitudes.data());
        std::array<int, parts> top{};
        std::array<int, parts> last{};
        last.fill(-1);
        // run is a multiple of parts, so bin first + i goes to part i mod 8.
        for (int i = 0; i < count; i += parts) {
            const int lanes = std::min(parts, count - i);
            for (int j = 0; j < lanes; ++j) {
                const double magnitude = magnitudes[static_cast<std::size_t>(i + j)];
                const int m = static_cast<int>(magnitude);
                const auto lane = static_cast<std::size_t>(j);
                last[lane] = m >= top[lane] ? i + j : last[lane];
                top[lane] = m >= top[lane] ? m : top[lane];
                partial[lane] += magnitude;
            }
        }
        int runTop = 0;
        int runLast = -1;
        for (std::size_t lane = 0; lane < parts; ++lane) {
            if (last[lane] >= 0 && (top[lane] > runTop || (top[lane] == runTop && last[lane] > runLast))) {
                runTop = top[lane];
                runLast = last[lane];
            }
        }
        if (runLast >= 0 && runTop >= maximum) {
            maximum = runTop;
            peak = first + runLast;
            strongest = magnitudes[static_cast<std::size_t>(runLast)];
        }
    }
    const double total = ((partial[0] + partial[1]) + (partial[2] + partial[3])) +
                         ((partial[4] + partial[5]) + (partial[6] + partial[7]));
    PeakReading reading;
    double delta = 0.0;
    if (peak > 0) {
        const int lo = static_cast<int>(spectrum.magnitude(peak - 1));
        const int hi = static_cast<int>(spectrum.magnitude(peak + 1));
        delta = peakDelta(lo, hi);
    }
    reading.value = (peak + delta) * 199680.0 / 4096.0 / 30.0;
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

double toneProminence(const SpectrumAnalyzer& spectrum) {
    return readPeak(spectrum).prominence;
}

}  // namespace acquisition
