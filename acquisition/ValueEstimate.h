#pragma once

namespace acquisition {

class SpectrumAnalyzer;

// The ECG value of one transformed buffer: the strongest bin of the lower half
// of the spectrum (on equal truncated magnitudes the later bin wins), refined
// between its two neighbours, times 1.625. The constant is fixed whatever the
// sampling rate or FFT size in use. Always finite: where the peak is bin 0
// (no left neighbour) or both neighbours truncate to 0, the refinement is 0.
double estimateValue(const SpectrumAnalyzer& spectrum);

// The refinement of a peak between its truncated neighbour magnitudes.
double peakDelta(int lo, int hi);

inline constexpr double valuePerBin = 199680.0 / 4096.0 / 30.0;

}  // namespace acquisition
