#pragma once

// The arithmetic of SpectrumAnalyzer, internal to it and to its tests. The
// kernels are compiled once for each instruction set the analyzer may use;
// every version does the very operations of the plain one, element by
// element and in the same order, and the file is built without contraction
// into fused multiply-adds, so every version gives the same bits.

namespace acquisition::spectrum_kernels {

// Which compilation of the kernels runs: `automatic` is the one the compiler's
// function versions pick for the processor when the program loads (the plain
// one under ThreadSanitizer); the others name one compilation, for the tests
// that compare them.
enum class Version { automatic, plain, avx2, avx512f };

// Whether this processor and this build run `version`.
bool runs(Version version);

// The tables of one transform size N (m = N / 2 complex points), built once by
// the analyzer. The arrays belong to the analyzer.
struct Plan {
    int m = 0;
    // log2(m): the first two stages are done by the load, then `radix4Passes`
    // radix-4 passes (block quarters 4, 16, 64, ...) and a radix-2 pass over
    // the whole array if the count of stages is odd.
    int stages = 0;
    // bitReverse4[u], u < m / 4: u reversed on log2(m / 4) bits.
    const int* bitReverse4 = nullptr;
    // For the pass whose blocks have quarter h, from passTwiddles + 6 * (h - 4) / 3
    // on: w1 (re, im), w2, w3, h factors each, wq = exp(-2 pi i j q / (4 h)).
    const double* passTwiddles = nullptr;
    // The last radix-2 pass: exp(-2 pi i j / m), j < m / 2.
    const double* lastRe = nullptr;
    const double* lastIm = nullptr;
    // The split of the half-size transform into the bins of the real input:
    // 0.5 cos(2 pi k / N) and -0.5 sin(2 pi k / N), k < m / 2.
    const double* splitRe = nullptr;
    const double* splitIm = nullptr;
};

// The samples as they enter the window: values[i] * weights[i] into out.
void taper(Version version, const int* values, const double* weights, int count, double* out);

// The window x (2m tapered samples) as m complex points x[2u] + i x[2u + 1],
// in bit-reversed order, with the first two stages done: into re, im (m each).
void load(Version version, const Plan& plan, const double* window, double* re, double* im);

// The remaining stages of the half-size transform on re, im, then the split
// into bins 0 .. m of the real window: into binRe, binIm (m + 1 each).
void transform(Version version, const Plan& plan, double* re, double* im, double* binRe,
               double* binIm);

// sqrt(re^2 + im^2) / rootN for `count` bins.
void magnitudes(Version version, const double* re, const double* im, double rootN, int count,
                double* out);

// The peak search's pass over a run of magnitudes, in eight interleaved parts
// (part j: the run's bins k = j mod 8), which keeps eight operations in flight
// instead of one chain: each part's sum, to which the run's magnitudes are
// added in order, and its largest truncated magnitude with the last bin of the
// run that has it (0 and -1 before any bin).
inline constexpr int partCount = 8;
struct RunParts {
    double sum[partCount] = {};
    int top[partCount] = {};
    int last[partCount] = {};
};
void runParts(Version version, const double* magnitudes, int count, RunParts& parts);

}  // namespace acquisition::spectrum_kernels
