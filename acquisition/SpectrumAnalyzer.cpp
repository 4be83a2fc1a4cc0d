#include "SpectrumAnalyzer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <stdexcept>

#include "SampleCursor.h"

namespace acquisition {

namespace {

const double pi = 2.0 * std::asin(1.0);

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// cos and -sin of 2 pi * numerator / denominator, the numerator first reduced
// modulo the denominator.
void unitRoot(long long numerator, long long denominator, double& re, double& im) {
    numerator %= denominator;
    const double angle =
        2.0 * pi * static_cast<double>(numerator) / static_cast<double>(denominator);
    re = std::cos(angle);
    im = -std::sin(angle);
}

constexpr std::align_val_t simdAlignment{64};

}  // namespace

void SpectrumAnalyzer::FreeAligned::operator()(double* p) const {
    ::operator delete[](p, simdAlignment);
}

SpectrumAnalyzer::Aligned SpectrumAnalyzer::aligned(int count) {
    const std::size_t n = at(std::max(count, 1));
    Aligned array(static_cast<double*>(::operator new[](n * sizeof(double), simdAlignment)));
    std::fill(array.get(), array.get() + n, 0.0);
    return array;
}

SpectrumAnalyzer::SpectrumAnalyzer(int points, int sampleRate)
    : SpectrumAnalyzer(points, sampleRate, spectrum_kernels::Version::automatic) {}

SpectrumAnalyzer::SpectrumAnalyzer(int points, int sampleRate, spectrum_kernels::Version kernels)
    : points_(points),
      sampleRate_(sampleRate),
      rootN_(std::sqrt(static_cast<double>(points))),
      kernels_(spectrum_kernels::runs(kernels) ? kernels : spectrum_kernels::Version::plain) {
    if (points < 2 || (points & (points - 1)) != 0) {
        throw std::invalid_argument("FFT size must be a power of two");
    }
    history_.assign(at(points), 0.0);
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

    // The half-size transform: m complex points, log2(m) stages.
    const int m = points / 2;
    plan_.m = m;
    plan_.stages = stages_ - 1;
    re_ = aligned(m);
    im_ = aligned(m);
    binRe_ = aligned(m + 1);
    binIm_ = aligned(m + 1);

    // u < m/4 reversed on log2(m/4) bits: the top bits of bitReverse_, whose
    // permutation is on log2(N) = log2(m/4) + 3 bits.
    const int quarter = m / 4;
    bitReverse4_.assign(at(std::max(quarter, 1)), 0);
    for (int u = 0; u < quarter; ++u) {
        bitReverse4_[at(u)] = bitReverse_[at(u)] >> 3;
    }
    plan_.bitReverse4 = bitReverse4_.data();

    // Radix-4 passes of quarters 4, 16, ...: w1, w2, w3 of each, re and im.
    int passCount = 0;
    int tableSize = 0;
    for (int stage = 2, h = 4; stage + 2 <= plan_.stages; stage += 2, h *= 4) {
        ++passCount;
        tableSize += 6 * h;
    }
    passTwiddles_ = aligned(tableSize);
    for (int pass = 0, h = 4; pass < passCount; ++pass, h *= 4) {
        double* w = passTwiddles_.get() + 2 * (h - 4);
        for (int q = 1; q <= 3; ++q) {
            double* wr = w + 2 * (q - 1) * h;
            double* wi = wr + h;
            for (int k = 0; k < h; ++k) {
                unitRoot(static_cast<long long>(q) * k, 4LL * h, wr[k], wi[k]);
            }
        }
    }
    plan_.passTwiddles = passTwiddles_.get();

    lastRe_ = aligned(m / 2);
    lastIm_ = aligned(m / 2);
    for (int k = 0; k < m / 2; ++k) {
        unitRoot(k, m, lastRe_[at(k)], lastIm_[at(k)]);
    }
    plan_.lastRe = lastRe_.get();
    plan_.lastIm = lastIm_.get();

    splitRe_ = aligned(m / 2);
    splitIm_ = aligned(m / 2);
    for (int k = 0; k < m / 2; ++k) {
        double c = 0.0;
        double s = 0.0;
        unitRoot(k, points, c, s);
        splitRe_[at(k)] = 0.5 * c;
        splitIm_[at(k)] = 0.5 * s;
    }
    plan_.splitRe = splitRe_.get();
    plan_.splitIm = splitIm_.get();
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
    // Decoded a run at a time: one call into the recorder per run, not per
    // sample.
    constexpr int run = 256;
    std::array<int, run> values;
    for (int first = 0; first < s; first += run) {
        const int count = std::min(run, s - first);
        cursor.read(count, values.data());
        spectrum_kernels::taper(kernels_, values.data(), taper_.data() + first, count,
                                incoming + first);
    }
    // The window into the points of the half-size transform, its first two
    // stages done on the way.
    spectrum_kernels::load(kernels_, plan_, history_.data(), re_.get(), im_.get());
}

void SpectrumAnalyzer::clearHistory() {
    std::fill(history_.begin(), history_.end(), 0.0);
}

void SpectrumAnalyzer::transform() {
    spectrum_kernels::transform(kernels_, plan_, re_.get(), im_.get(), binRe_.get(), binIm_.get());
}

double SpectrumAnalyzer::magnitude(int k) const {
    const auto bin = at(k <= points_ / 2 ? k : points_ - k);
    const double re = binRe_[bin];
    const double im = binIm_[bin];
    return std::sqrt(re * re + im * im) / rootN_;
}

void SpectrumAnalyzer::magnitudes(int first, int count, double* out) const {
    // Bins up to N/2 a run at a time; the mirrored ones above, one by one.
    const int direct = std::max(0, std::min(count, points_ / 2 + 1 - first));
    if (direct > 0) {
        spectrum_kernels::magnitudes(kernels_, binRe_.get() + first, binIm_.get() + first, rootN_,
                                     direct, out);
    }
    for (int i = direct; i < count; ++i) {
        out[i] = magnitude(first + i);
    }
}

void SpectrumAnalyzer::magnitudes(int first, int count, double* out,
                                  spectrum_kernels::RunParts& parts) const {
    magnitudes(first, count, out);
    spectrum_kernels::runParts(kernels_, out, count, parts);
}

int SpectrumAnalyzer::binForFrequency(int frequency) const {
    if (sampleRate_ <= 0) {
        return 0;
    }
    return static_cast<int>(static_cast<long long>(points_) * frequency / sampleRate_);
}

}  // namespace acquisition
