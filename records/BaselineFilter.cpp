#include "BaselineFilter.h"

#include <algorithm>
#include <cmath>

namespace records {

int BaselineFilter::windowLength(double seconds, double valuesPerSecond) {
    const double samples = seconds * valuesPerSecond;
    if (!(samples >= 3.0)) {
        return 3;
    }
    const int whole = static_cast<int>(std::lround(std::min(samples, 1e6)));
    return whole % 2 == 1 ? whole : whole + 1;
}

void BaselineFilter::runningMedian(const std::vector<double>& in, int window,
                                   std::vector<double>& out) {
    const int n = static_cast<int>(in.size());
    const int half = window / 2;
    out.resize(in.size());
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(window));
    for (int i = 0; i < n; ++i) {
        const auto at = static_cast<std::size_t>(i);
        if (!std::isfinite(in[at])) {
            out[at] = in[at];
            continue;
        }
        values.clear();
        const int first = std::max(0, i - half);
        const int last = std::min(n - 1, i + half);
        for (int k = first; k <= last; ++k) {
            const double v = in[static_cast<std::size_t>(k)];
            if (std::isfinite(v)) {
                values.push_back(v);
            }
        }
        // The middle value; of an even count, the mean of the two middle
        // ones, so a window shortened at an edge does not lean either way.
        const std::size_t mid = values.size() / 2;
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid),
                         values.end());
        double median = values[mid];
        if (values.size() % 2 == 0) {
            median =
                (median + *std::max_element(values.begin(),
                                            values.begin() + static_cast<std::ptrdiff_t>(mid))) /
                2.0;
        }
        out[at] = median;
    }
}

std::vector<double> BaselineFilter::apply(const std::vector<double>& samples,
                                          double valuesPerSecond, double zeroLevel) {
    std::vector<double> withoutQrs;
    std::vector<double> baseline;
    runningMedian(samples, windowLength(shortWindowSeconds, valuesPerSecond), withoutQrs);
    runningMedian(withoutQrs, windowLength(longWindowSeconds, valuesPerSecond), baseline);
    std::vector<double> out(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double v = samples[i];
        out[i] = std::isfinite(v) ? v - baseline[i] + zeroLevel : v;
        // Values near the limits of a double may overflow: they keep theirs.
        if (!std::isfinite(out[i])) {
            out[i] = v;
        }
    }
    return out;
}

}  // namespace records
