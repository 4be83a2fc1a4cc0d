#include "SpectrumAnalyzer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

#include "SampleCursor.h"

namespace acquisition {

namespace {

const double pi = 2.0 * std::asin(1.0);

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

// An int holds at most 31 halvings.
constexpr int maxStages = 31;

// The kernels are built for AVX-512, for AVX2 and for any x86-64, and the
// best one the processor runs is picked when the program loads. Each lane
// does the very operations of the plain code, in the same order, and the file
// is built without contraction into fused multiply-adds (see CMakeLists.txt),
// so every build gives the same bits. Under ThreadSanitizer the plain kernel
// is used: the clones' resolver runs before the sanitizer's runtime is ready.
#if defined(__SANITIZE_THREAD__)
#define TRELMONT_SPECTRUM_KERNEL
#elif defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define TRELMONT_SPECTRUM_KERNEL __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define TRELMONT_SPECTRUM_KERNEL
#endif

// The butterflies of one block: upper[j] and lower[j] with factor w[j].
inline void butterflies(double* __restrict upperRe, double* __restrict upperIm,
                        double* __restrict lowerRe, double* __restrict lowerIm,
                        const double* __restrict wRe, const double* __restrict wIm, int count) {
    for (int j = 0; j < count; ++j) {
        const double tre = wRe[j] * lowerRe[j] - wIm[j] * lowerIm[j];
        const double tim = wRe[j] * lowerIm[j] + wIm[j] * lowerRe[j];
        lowerRe[j] = upperRe[j] - tre;
        lowerIm[j] = upperIm[j] - tim;
        upperRe[j] = upperRe[j] + tre;
        upperIm[j] = upperIm[j] + tim;
    }
}

// The first stages, whose blocks are too short to run several butterflies of
// one block at a time, run them across blocks instead.
template <int half>
inline void shortStage(double* re, double* im, const double* wRe, const double* wIm, int n) {
    for (int block = 0; block < n; block += 2 * half) {
        for (int j = 0; j < half; ++j) {
            const int u = block + j;
            const int l = u + half;
            const double tre = wRe[j] * re[l] - wIm[j] * im[l];
            const double tim = wRe[j] * im[l] + wIm[j] * re[l];
            re[l] = re[u] - tre;
            im[l] = im[u] - tim;
            re[u] = re[u] + tre;
            im[u] = im[u] + tim;
        }
    }
}

// Iterative radix-2 decimation in time over bins in bit-reversed order.
TRELMONT_SPECTRUM_KERNEL void radix2Transform(double* re, double* im, const double* const* stageRe,
                                              const double* const* stageIm, int n, int stages) {
    int half = 1;
    for (int s = 1; s <= stages; ++s) {
        const double* wRe = stageRe[s - 1];
        const double* wIm = stageIm[s - 1];
        if (half == 1) {
            shortStage<1>(re, im, wRe, wIm, n);
        } else if (half == 2) {
            shortStage<2>(re, im, wRe, wIm, n);
        } else {
            for (int block = 0; block < n; block += 2 * half) {
                butterflies(re + block, im + block, re + block + half, im + block + half, wRe, wIm,
                            half);
            }
        }
        half *= 2;
    }
}

TRELMONT_SPECTRUM_KERNEL void magnitudeRun(const double* __restrict re, const double* __restrict im,
                                           double rootN, int count, double* __restrict out) {
    for (int k = 0; k < count; ++k) {
        out[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]) / rootN;
    }
}

}  // namespace

SpectrumAnalyzer::SpectrumAnalyzer(int points, int sampleRate)
    : points_(points), sampleRate_(sampleRate), rootN_(std::sqrt(static_cast<double>(points))) {
    if (points < 2 || (points & (points - 1)) != 0) {
        throw std::invalid_argument("FFT size must be a power of two");
    }
    history_.assign(at(points), 0.0);
    re_.assign(at(points), 0.0);
    im_.assign(at(points), 0.0);
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

    twiddleRe_.resize(at(stages_));
    twiddleIm_.resize(at(stages_));
    for (int s = 1; s <= stages_; ++s) {
        const int span = 1 << s;
        auto& tableRe = twiddleRe_[at(s - 1)];
        auto& tableIm = twiddleIm_[at(s - 1)];
        tableRe.resize(at(span / 2));
        tableIm.resize(at(span / 2));
        for (int k = 0; k < span / 2; ++k) {
            const double angle = 2.0 * pi * k / span;
            tableRe[at(k)] = std::cos(angle);
            tableIm[at(k)] = -std::sin(angle);
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
    // Decoded a run at a time: one call into the recorder per run, not per
    // sample.
    constexpr int run = 256;
    std::array<int, run> values{};
    for (int first = 0; first < s; first += run) {
        const int count = std::min(run, s - first);
        cursor.read(count, values.data());
        for (int i = 0; i < count; ++i) {
            incoming[first + i] = static_cast<double>(values[at(i)]) * taper_[at(first + i)];
        }
    }
    // The permutation is its own inverse: gathering into the bins in order
    // places every value where scattering would, without the scattered stores
    // that keep evicting each other from the cache.
    for (int k = 0; k < n; ++k) {
        re_[at(k)] = history_[at(bitReverse_[at(k)])];
    }
    std::fill(im_.begin(), im_.end(), 0.0);
}

void SpectrumAnalyzer::transform() {
    std::array<const double*, maxStages> stageRe{};
    std::array<const double*, maxStages> stageIm{};
    for (int s = 0; s < stages_; ++s) {
        stageRe[at(s)] = twiddleRe_[at(s)].data();
        stageIm[at(s)] = twiddleIm_[at(s)].data();
    }
    radix2Transform(re_.data(), im_.data(), stageRe.data(), stageIm.data(), points_, stages_);
}

double SpectrumAnalyzer::magnitude(int k) const {
    const double re = re_[at(k)];
    const double im = im_[at(k)];
    return std::sqrt(re * re + im * im) / rootN_;
}

void SpectrumAnalyzer::magnitudes(int first, int count, double* out) const {
    magnitudeRun(re_.data() + first, im_.data() + first, rootN_, count, out);
}

int SpectrumAnalyzer::binForFrequency(int frequency) const {
    if (sampleRate_ <= 0) {
        return 0;
    }
    return static_cast<int>(static_cast<long long>(points_) * frequency / sampleRate_);
}

}  // namespace acquisition
