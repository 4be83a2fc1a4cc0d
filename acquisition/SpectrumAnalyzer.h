#pragma once

#include <vector>

namespace acquisition {

class SampleCursor;

// N-point radix-2 FFT over a sliding window of the most recent N samples. Each
// sample is tapered once, by its position inside its own buffer, when it
// enters the window. All tables are built by the constructor; nothing is
// allocated per buffer.
class SpectrumAnalyzer {
public:
    struct Complex {
        double re = 0.0;
        double im = 0.0;
    };

    SpectrumAnalyzer(int points, int sampleRate);

    // Appends the cursor's samples to the window and loads the transform's
    // input. A block longer than the window is ignored.
    void loadBlock(SampleCursor& cursor);
    // Forward transform of the loaded window, in place, unscaled.
    void transform();
    // |bin k| / sqrt(N), for 0 <= k < N after transform().
    double magnitude(int k) const;
    // magnitude(k) for `count` bins from `first` on, into `out`: the same
    // values, computed several bins at a time.
    void magnitudes(int first, int count, double* out) const;

    int fftPoints() const { return points_; }
    int sampleRate() const { return sampleRate_; }
    int stages() const { return stages_; }
    int binForFrequency(int frequency) const;

    const std::vector<int>& bitReverse() const { return bitReverse_; }
    const std::vector<double>& history() const { return history_; }
    Complex bin(int k) const {
        return {re_[static_cast<std::size_t>(k)], im_[static_cast<std::size_t>(k)]};
    }
    // The taper weight of sample i of a block of `blockSize` samples.
    double taperWeight(int i, int blockSize) const;

private:
    void prepareTaper(int blockSize);

    int points_;
    int sampleRate_;
    int stages_ = 0;
    double rootN_;
    std::vector<int> bitReverse_;
    // The bins, real and imaginary parts apart, so that the butterflies of a
    // stage run several at a time.
    std::vector<double> re_;
    std::vector<double> im_;
    // twiddleRe_[s - 1] and twiddleIm_[s - 1] hold the factors of stage s that
    // the transform reads, exp(-2 pi i j / 2^s) for j = 0 .. 2^(s-1) - 1.
    std::vector<std::vector<double>> twiddleRe_;
    std::vector<std::vector<double>> twiddleIm_;
    std::vector<double> history_;
    // Taper weights of the current block size (fixed for a configuration, so
    // they are computed once and only recomputed if the block size changes).
    std::vector<double> taper_;
    int taperBlockSize_ = -1;
};

}  // namespace acquisition
