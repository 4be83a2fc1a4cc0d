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
    double strongest = 0.0;
    // The magnitudes come a run at a time, which lets the analyzer compute
    // several at once, with the search's pass over them. The peak is the last
    // bin whose truncated magnitude is the largest (the later bin winning on
    // equal ones): the run's parts each give their largest truncated
    // magnitude and the last bin that has it, and a run that reaches the
    // maximum so far gives the peak.
    constexpr int run = 256;
    static_assert(run % spectrum_kernels::partCount == 0);
    std::array<double, run> magnitudes;
    spectrum_kernels::RunParts parts;
    for (int first = 0; first < half; first += run) {
        const int count = std::min(run, half - first);
        spectrum.magnitudes(first, count, magnitudes.data(), parts);
        int runTop = 0;
        int runLast = -1;
        for (int j = 0; j < spectrum_kernels::partCount; ++j) {
            const int top = parts.top[j];
            const int last = parts.last[j];
            if (last >= 0 && (top > runTop || (top == runTop && last > runLast))) {
                runTop = top;
                runLast = last;
            }
        }
        if (runLast >= 0 && runTop >= maximum) {
            maximum = runTop;
            peak = first + runLast;
            strongest = magnitudes[static_cast<std::size_t>(runLast)];
        }
    }
    // The parts' sums, added in a fixed order.
    const double* partial = parts.sum;
    const double total = ((partial[0] + partial[1]) + (partial[2] + partial[3])) +
                         ((partial[4] + partial[5]) + (partial[6] + partial[7]));
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
