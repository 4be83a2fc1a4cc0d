#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace testsupport {

// An ECG at 487.5 values a second (an export, a decoded tone) against the
// heart signal it was made from.

// Low-passed at 100 Hz without delay (a Hamming-windowed sinc of 61 taps at
// 487.5 values a second, run forwards and centred); the first and last 30
// values are left at 0.
inline std::vector<double> lowPassed(const std::vector<double>& x) {
    const int half = 30;
    const double cut = 100.0 / 487.5;
    const double pi = std::acos(-1.0);
    std::vector<double> taps;
    for (int i = -half; i <= half; ++i) {
        const double sinc = i == 0 ? 2.0 * cut : std::sin(2.0 * pi * cut * i) / (pi * i);
        taps.push_back(sinc * (0.54 + 0.46 * std::cos(pi * i / half)));
    }
    double sum = 0.0;
    for (const double t : taps) {
        sum += t;
    }
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t k = half; k + half < x.size(); ++k) {
        for (int i = -half; i <= half; ++i) {
            y[k] += taps[static_cast<std::size_t>(i + half)] * x[k + static_cast<std::size_t>(i)];
        }
        y[k] /= sum;
    }
    return y;
}

struct Agreement {
    double r = 0.0;
    double rms = 0.0;         // mV
    double peakToPeak = 0.0;  // the ECG's over the true one
    // The median R wave's height above the PR segment (80 ms before it),
    // the ECG's over the true one.
    double rAmplitude = 0.0;
    // The values the truth lies ahead: ECG value k is truth k + lag.
    int lag = 0;
};

inline double median(std::vector<double> x) {
    if (x.empty()) {
        return 0.0;
    }
    std::nth_element(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(x.size() / 2), x.end());
    return x[x.size() / 2];
}

// The R waves of `truth` (its highest points, each the highest within 200
// ms) measured in both, the ECG's median height over the truth's.
inline double rAmplitudeRatio(const std::vector<double>& ecg, const std::vector<double>& truth) {
    const auto [low, high] = std::minmax_element(truth.begin(), truth.end());
    const std::ptrdiff_t window = 97;  // 200 ms
    const std::ptrdiff_t pr = 39;      // 80 ms
    const auto n = static_cast<std::ptrdiff_t>(truth.size());
    std::vector<double> ours;
    std::vector<double> theirs;
    for (std::ptrdiff_t i = window; i + window < n; ++i) {
        const double y = truth[static_cast<std::size_t>(i)];
        if (y < *low + 0.6 * (*high - *low) ||
            *std::max_element(truth.begin() + i - window, truth.begin() + i + window + 1) != y) {
            continue;
        }
        const double peak = *std::max_element(ecg.begin() + i - 2, ecg.begin() + i + 3);
        ours.push_back(peak - ecg[static_cast<std::size_t>(i - pr)]);
        theirs.push_back(y - truth[static_cast<std::size_t>(i - pr)]);
    }
    return median(ours) / median(theirs);
}

// `ecg` against `truth`, both low-passed at 100 Hz, at the lag within
// `maxLag` values that fits best.
inline Agreement compare(const std::vector<double>& ecg, const std::vector<double>& truth,
                         int maxLag = 5) {
    const std::vector<double> a = lowPassed(ecg);
    const std::vector<double> b = lowPassed(truth);
    Agreement best;
    best.r = -2.0;
    const auto edge = static_cast<long long>(std::max(40, 35 + maxLag));
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        std::vector<double> x;
        std::vector<double> y;
        for (auto k = static_cast<std::size_t>(edge); k + static_cast<std::size_t>(edge) < a.size();
             ++k) {
            const long long m = static_cast<long long>(k) + lag;
            if (m >= edge && m + edge < static_cast<long long>(b.size())) {
                x.push_back(a[k]);
                y.push_back(b[static_cast<std::size_t>(m)]);
            }
        }
        const double n = static_cast<double>(x.size());
        double mx = 0.0, my = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            mx += x[i] / n;
            my += y[i] / n;
        }
        double sxy = 0.0, sxx = 0.0, syy = 0.0, se = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            sxy += (x[i] - mx) * (y[i] - my);
            sxx += (x[i] - mx) * (x[i] - mx);
            syy += (y[i] - my) * (y[i] - my);
            se += (x[i] - y[i]) * (x[i] - y[i]);
        }
        const double r = sxy / std::sqrt(sxx * syy);
        if (r > best.r) {
            const auto [xLow, xHigh] = std::minmax_element(x.begin(), x.end());
            const auto [yLow, yHigh] = std::minmax_element(y.begin(), y.end());
            best = {r, std::sqrt(se / n), (*xHigh - *xLow) / (*yHigh - *yLow),
                    rAmplitudeRatio(x, y), lag};
        }
    }
    return best;
}

}  // namespace testsupport
