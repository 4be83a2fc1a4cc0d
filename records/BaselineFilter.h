#pragma once

#include <vector>

#include "RecordBuffer.h"

namespace records {

// Removes baseline wander (breathing, electrode drift) from a record
// without touching the ECG's own slow waves. The baseline is estimated by two
// running medians in a row: the first, about 200 ms long, removes the QRS
// complexes; the second, about 600 ms long, removes the P and T waves. What
// is left follows only what is slower than a T wave, and is subtracted from
// the record, which is then moved to 0 mV (57.2).
//
// A linear high-pass strong enough to remove breathing (0.5 Hz) bends the
// ST segment and leaves a dip after every QRS that fails the impulse test of
// electrocardiographs; one weak enough to pass it (0.05 Hz) leaves breathing
// in. A median ignores any wave shorter than half its window whatever its
// height, so a QRS leaves no trace in the estimate and ST and T keep their
// levels against the PR segment.
class BaselineFilter {
public:
    // What a filtered recording's facts and its EDF+ say was done.
    static constexpr const char* method =
        "baseline wander removed: running medians of 0.2 s and 0.6 s subtracted";
    static constexpr double shortWindowSeconds = 0.2;
    static constexpr double longWindowSeconds = 0.6;
    // One value per captured buffer at the default settings.
    static constexpr double defaultValuesPerSecond = 48.75;

    // The record's samples less their baseline, moved to `zeroLevel` (0 mV
    // on the recording's scale): what FILTER stores, one value for every
    // sample. A sample that is not a
    // finite number passes through as it is, and takes no part in any other
    // sample's baseline.
    static std::vector<double> apply(const std::vector<double>& samples,
                                     double valuesPerSecond = defaultValuesPerSecond,
                                     double zeroLevel = RecordBuffer::fillLevel);

    // The odd number of samples nearest to `seconds` at `valuesPerSecond`,
    // at least 3.
    static int windowLength(double seconds, double valuesPerSecond);

    // The running median of `in` over `window` samples centred on each one,
    // shortened at both ends of the record; non-finite samples are left out
    // of every window and copied as they are.
    static void runningMedian(const std::vector<double>& in, int window, std::vector<double>& out);
};

}  // namespace records
