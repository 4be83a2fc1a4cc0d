#pragma once

#include "ToneQuality.h"

namespace acquisition {

class SpectrumAnalyzer;

// The ECG value of one transformed buffer: the strongest bin of the lower half
// of the spectrum (on equal truncated magnitudes the later bin wins), refined
// between its two neighbours, times 1.625. The constant is fixed whatever the
// sampling rate or FFT size in use. Always finite: where the peak is bin 0
// (no left neighbour) or both neighbours truncate to 0, the refinement is 0.
double estimateValue(const SpectrumAnalyzer& spectrum);

// The value and the tone's prominence of one buffer, from one pass over the
// spectrum. The prominence is how far the strongest bin of the lower half
// stands above the rest of it: the peak's magnitude over the mean magnitude
// of the bins more than a few bins away from it. The front end's tone stands
// tens of times above its surroundings; noise alone, a few times. 0 for a
// silent spectrum. Its quality is the one the spectrum alone can tell
// (good or without tone, see ToneJudge); readPeak leaves it good.
struct PeakReading {
    double value = 0.0;
    double prominence = 0.0;
    ToneQuality quality = ToneQuality::good;
};
PeakReading readPeak(const SpectrumAnalyzer& spectrum);

// A prominence at or above this is taken for the front end's tone.
inline constexpr double toneThreshold = 12.0;

// The refinement of a peak between its truncated neighbour magnitudes.
double peakDelta(int lo, int hi);

}  // namespace acquisition
