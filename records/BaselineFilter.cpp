#include "BaselineFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace records {

namespace {

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

}  // namespace

void BaselineFilter::run() {
    markSegments();
    clearNormalEquations();
    detrend();
}

int BaselineFilter::filteredCount() const {
    return std::clamp(record_.count, 0, maxFilteredSamples);
}

void BaselineFilter::writeFrame(int first) {
    auto& s = record_.samples;
    for (int i = 0; i < frameLength; ++i) {
        const bool high = i >= 5 && i < 10;
        s[at(first + i)] = high ? frameLevel + frameStep : frameLevel;
    }
}

void BaselineFilter::markSegments() {
    const int n = filteredCount();
    auto& s = record_.samples;
    auto& marks = record_.markers;

    // Keep what the trailing frame would overwrite in a record longer than
    // the filter takes.
    const int tail = std::max(0, record_.count - n);
    std::copy_n(s.begin() + n, std::min<std::size_t>(at(tail), tail_.size()), tail_.begin());

    for (int i = n - 1; i >= 0; --i) {
        s[at(i + frameLength)] = s[at(i)];
    }
    writeFrame(0);
    writeFrame(n + frameLength);

    const int last = n + 2 * frameLength - 1;
    std::fill(marks.begin(), marks.begin() + last + 1, 0.0);
    marks[0] = startMark;
    marks[at(last)] = endMark;

    int j = 0;
    while (j < n + 24) {
        const double a = s[at(j)];
        if (std::abs(s[at(j + 1)] - a) <= flatTolerance &&
            std::abs(s[at(j + 2)] - a) <= flatTolerance) {
            ++j;
            continue;
        }
        const double b = s[at(j + 3)];
        if (std::abs(s[at(j + 4)] - b) <= flatTolerance &&
            std::abs(s[at(j + 5)] - b) <= flatTolerance && std::abs(b - a) >= stepThreshold) {
            marks[at(j)] = endMark;
            marks[at(j + 6)] = startMark;
            j += 7;
            continue;
        }
        ++j;
    }
}

void BaselineFilter::clearNormalEquations() {
    for (auto& row : record_.normalMatrix) {
        row.fill(0.0);
    }
    record_.coefficients.fill(0.0);
}

void BaselineFilter::accumulatePoint(double y, double t) {
    const int order = std::clamp(record_.order, 0, 3);
    for (int i = 0; i <= order; ++i) {
        for (int j = 0; j <= order; ++j) {
            record_.normalMatrix[at(i)][at(j)] += intPower(t, i + j);
        }
        record_.coefficients[at(i)] += intPower(t, i) * y;
    }
}

void BaselineFilter::solveNormalEquations() {
    const int n = std::clamp(record_.order, 0, 3);
    auto& a = record_.normalMatrix;
    auto& b = record_.coefficients;
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            const double factor = a[at(j)][at(i)] / a[at(i)][at(i)];
            for (int k = i + 1; k <= n; ++k) {
                a[at(j)][at(k)] -= a[at(i)][at(k)] * factor;
            }
            b[at(j)] -= b[at(i)] * factor;
        }
    }
    b[at(n)] /= a[at(n)][at(n)];
    for (int r = n - 1; r >= 0; --r) {
        double sum = 0.0;
        for (int k = r + 1; k <= n; ++k) {
            sum += a[at(r)][at(k)] * b[at(k)];
        }
        b[at(r)] = (b[at(r)] - sum) / a[at(r)][at(r)];
    }
}

double BaselineFilter::intPower(double x, int k) {
    double result = 1.0;
    unsigned e = static_cast<unsigned>(std::abs(k));
    for (;;) {
        if ((e & 1U) != 0) {
            result *= x;
        }
        if (e < 2) {
            break;
        }
        e /= 2;
        x *= x;
    }
    return k < 0 ? 1.0 / result : result;
}

double BaselineFilter::cubic(double t) const {
    const auto& c = record_.coefficients;
    double value = 0.0;
    for (int i = 0; i <= 3; ++i) {
        value += c[at(i)] * intPower(t, i);
    }
    return value;
}

void BaselineFilter::fitSegment(int first, int length, double baseLevel) {
    clearNormalEquations();
    for (int i = 0; i < length; ++i) {
        accumulatePoint(segment_[at(i)], i + 1);
    }
    record_.normalMatrix[0][0] = length;
    solveNormalEquations();

    const auto& s = record_.samples;
    auto& f = record_.filtered;
    for (int k = 0; k <= length; ++k) {
        const int r = first + k;
        f[at(r)] = baseLevel - cubic(k) + s[at(r)];
        if (r > 1 && std::abs(f[at(r)] - f[at(r - 1)]) <= smoothingThreshold) {
            f[at(r)] = (f[at(r)] + f[at(r - 1)]) / 2.0;
        }
    }
}

void BaselineFilter::detrend() {
    const int n = filteredCount();
    const int end = n + 2 * frameLength;
    auto& s = record_.samples;
    auto& f = record_.filtered;
    const auto& marks = record_.markers;

    f.fill(RecordBuffer::fillLevel);
    std::copy_n(s.begin(), end, f.begin());

    double baseLevel = 0.0;
    for (int p = 0; p < end; ++p) {
        const int q = p;
        if (marks[at(p)] != startMark) {
            continue;
        }
        int m = 0;
        while (p < end && marks[at(p)] != endMark) {
            segment_[at(m++)] = s[at(p++)];
        }
        if (p < end) {
            segment_[at(m++)] = s[at(p++)];
        }
        if (baseLevel == 0.0 && p < end) {
            baseLevel = s[at(p)];
        }
        if (m >= minimumFitLength) {
            fitSegment(q, m, baseLevel);
        }
    }

    for (int k = 0; k < n; ++k) {
        s[at(k)] = s[at(k + frameLength)];
        f[at(k)] = f[at(k + frameLength)];
    }
    // Samples of a record longer than the filter takes stay as loaded.
    const int count = std::max(n, record_.count);
    for (int k = n; k < count; ++k) {
        s[at(k)] = tail_[at(k - n)];
        f[at(k)] = tail_[at(k - n)];
    }
    std::fill(s.begin() + count, s.end(), RecordBuffer::fillLevel);
    std::fill(f.begin() + count, f.end(), RecordBuffer::fillLevel);
}

}  // namespace records
