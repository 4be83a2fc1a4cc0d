#pragma once

#include <memory>
#include <vector>

#include "SpectrumAnalyzerKernels.h"

namespace acquisition {

class SampleCursor;

// N-point discrete Fourier transform over a sliding window of the most recent
// N samples. Each sample is tapered once, by its position inside its own
// buffer, when it enters the window. The window is real, so the transform is
// computed as one of N/2 complex points (the even samples as real parts, the
// odd ones as imaginary parts; radix-4 passes, a radix-2 one where log2(N/2)
// is odd) followed by a split into bins 0 .. N/2; bins above N/2 are their
// conjugate mirror. All tables are built by the constructor; nothing is
// allocated per buffer.
class SpectrumAnalyzer {
public:
    struct Complex {
        double re = 0.0;
        double im = 0.0;
    };

    SpectrumAnalyzer(int points, int sampleRate);
    // With one compilation of the kernels rather than the one picked for the
    // processor; for the tests that compare them. A version the processor
    // does not run is replaced by the plain one.
    SpectrumAnalyzer(int points, int sampleRate, spectrum_kernels::Version kernels);

    // Appends the cursor's samples to the window and loads the transform's
    // input. A block longer than the window is ignored.
    void loadBlock(SampleCursor& cursor);
    // Forgets every sample: a new recording's first windows see silence
    // before it, not the end of the last one.
    void clearHistory();
    // Forward transform of the loaded window, in place, unscaled.
    void transform();
    // |bin k| / sqrt(N), for 0 <= k < N after transform(); bin N - k's for k > N/2.
    double magnitude(int k) const;
    // magnitude(k) for `count` bins from `first` on, into `out`: the same
    // values, computed several bins at a time.
    void magnitudes(int first, int count, double* out) const;
    // The same, and the peak search's pass over them, in its parts (see
    // spectrum_kernels::RunParts).
    void magnitudes(int first, int count, double* out, spectrum_kernels::RunParts& parts) const;

    int fftPoints() const { return points_; }
    int sampleRate() const { return sampleRate_; }
    int stages() const { return stages_; }
    int binForFrequency(int frequency) const;

    // The bit-reversal permutation of 0 .. N - 1 on log2(N) bits (the
    // transform itself permutes the N/2 complex points).
    const std::vector<int>& bitReverse() const { return bitReverse_; }
    const std::vector<double>& history() const { return history_; }
    // Bin k, 0 <= k < N, after transform(): above N/2, the conjugate of bin N - k.
    Complex bin(int k) const {
        if (k <= points_ / 2) {
            return {binRe_[static_cast<std::size_t>(k)], binIm_[static_cast<std::size_t>(k)]};
        }
        const auto mirror = static_cast<std::size_t>(points_ - k);
        return {binRe_[mirror], -binIm_[mirror]};
    }
    // The taper weight of sample i of a block of `blockSize` samples.
    double taperWeight(int i, int blockSize) const;

private:
    void prepareTaper(int blockSize);

    struct FreeAligned {
        void operator()(double* p) const;
    };
    using Aligned = std::unique_ptr<double[], FreeAligned>;
    static Aligned aligned(int count);

    int points_;
    int sampleRate_;
    int stages_ = 0;
    double rootN_;
    spectrum_kernels::Version kernels_;
    std::vector<int> bitReverse_;
    // The N/2 complex points of the half-size transform, real and imaginary
    // parts apart, so that its butterflies run several at a time.
    Aligned re_;
    Aligned im_;
    // Bins 0 .. N/2 of the real window.
    Aligned binRe_;
    Aligned binIm_;
    // The transform's tables (see spectrum_kernels::Plan).
    std::vector<int> bitReverse4_;
    Aligned passTwiddles_;
    Aligned lastRe_;
    Aligned lastIm_;
    Aligned splitRe_;
    Aligned splitIm_;
    spectrum_kernels::Plan plan_;
    std::vector<double> history_;
    // Taper weights of the current block size (fixed for a configuration, so
    // they are computed once and only recomputed if the block size changes).
    std::vector<double> taper_;
    int taperBlockSize_ = -1;
};

}  // namespace acquisition
