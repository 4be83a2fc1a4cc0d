#include "SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "SampleCursor.h"

namespace acquisition {

namespace {

const double pi = 2.0 * std::asin(1.0);

std::size_t at(int i) { return static_cast<std::size_t>(i); }

}  // namespace

SpectrumAnalyzer::SpectrumAnalyzer(int points, int sampleRate)
    : points_(points), sampleRate_(sampleRate), rootN_(std::sqrt(static_cast<double>(points))) {
    if (points < 2 || (points & (points - 1)) != 0) {
        throw std::invalid_argument("FFT size must be a power of two");
    }
    history_.assign(at(points), 0.0);
    bins_.assign(at(points), Complex{});
    taper_.assign(at(points), 0.0);

    for (int rest = points - 1; rest != 0; rest >>= 1) {
        ++stages_;
    }

    bitReverse_.assign(at(points), 0);
    int j = 0;
    for (int i = 0; i < points - 1; ++i) {
        bitReverse_[at(i)] = j;
        int m = points / 2;
        while (j >= m) {
            j -= m;
            m /= 2;
        }
        j += m;
    }
    bitReverse_[at(points - 1)] = points - 1;

    twiddles_.resize(at(stages_));
    for (int s = 1; s <= stages_; ++s) {
        const int span = 1 << s;
        auto& table = twiddles_[at(s - 1)];
        table.resize(at(span / 2));
        for (int k = 0; k < span / 2; ++k) {
            const double angle = 2.0 * pi * k / span;
            table[at(k)] = Complex{std::cos(angle), -std::sin(angle)};
        }
    }
}

double SpectrumAnalyzer::taperWeight(int i, int blockSize) const {
    const double step = pi / points_;
    return 0.99 * std::cos((i - blockSize / 2) * step) + 0.01;
}

void SpectrumAnalyzer::prepareTaper(int blockSize) {
    if (blockSize == taperBlockSize_) {
        return;
    }
    for (int i = 0; i < blockSize; ++i) {
        taper_[at(i)] = taperWeight(i, blockSize);
    }
    taperBlockSize_ = blockSize;
}

void SpectrumAnalyzer::loadBlock(SampleCursor& cursor) {
    const int n = points_;
    const int s = cursor.size();
    if (s > n || s < 0) {
        return;
    }
    prepareTaper(s);
    std::copy(history_.begin() + s, history_.end(), history_.begin());
    double* incoming = history_.data() + (n - s);
    for (int i = 0; i < s; ++i) {
        incoming[i] = static_cast<double>(cursor.value()) * taper_[at(i)];
        cursor.advance();
    }
    for (int k = 0; k < n; ++k) {
        bins_[at(bitReverse_[at(k)])] = Complex{history_[at(k)], 0.0};
    }
}

void SpectrumAnalyzer::transform() {
    const int n = points_;
    Complex* b = bins_.data();
    int half = 1;
    for (int s = 1; s <= stages_; ++s) {
        const Complex* w = twiddles_[at(s - 1)].data();
        // Every butterfly of a stage touches its own pair of bins, so walking
        // the blocks first and the twiddles inside gives the same result as
        // the twiddle-major order, with contiguous memory access.
        for (int block = 0; block < n; block += 2 * half) {
            Complex* upper = b + block;
            Complex* lower = upper + half;
            for (int j = 0; j < half; ++j) {
                const double tre = w[j].re * lower[j].re - w[j].im * lower[j].im;
                const double tim = w[j].re * lower[j].im + w[j].im * lower[j].re;
                lower[j].re = upper[j].re - tre;
                lower[j].im = upper[j].im - tim;
                upper[j].re += tre;
                upper[j].im += tim;
            }
        }
        half *= 2;
    }
}

double SpectrumAnalyzer::magnitude(int k) const {
    const Complex& c = bins_[at(k)];
    return std::sqrt(c.re * c.re + c.im * c.im) / rootN_;
}

int SpectrumAnalyzer::binForFrequency(int frequency) const {
    if (sampleRate_ <= 0) {
        return 0;
    }
    return static_cast<int>(static_cast<long long>(points_) * frequency / sampleRate_);
}

}  // namespace acquisition
