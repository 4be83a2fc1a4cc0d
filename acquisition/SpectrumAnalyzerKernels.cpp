#include "SpectrumAnalyzerKernels.h"

#include <cmath>
#include <cstring>

namespace acquisition::spectrum_kernels {

namespace {

// The bodies are written once, always inlined into each compilation below, so
// every version is this code built for its instruction set.
#define TRELMONT_KERNEL_BODY inline __attribute__((always_inline))

using V = double __attribute__((vector_size(32)));
#if defined(__clang__)
#define TRELMONT_SHUFFLE(a, b, i, j, k, l) __builtin_shufflevector(a, b, i, j, k, l)
#else
using I = long long __attribute__((vector_size(32)));
#define TRELMONT_SHUFFLE(a, b, i, j, k, l) __builtin_shuffle(a, b, I{i, j, k, l})
#endif

// Points at..at+3 of a window's pairs: their real and imaginary parts.
TRELMONT_KERNEL_BODY void pairs(const double* at, V& real, V& imag) {
    V low;
    V high;
    std::memcpy(&low, at, sizeof low);
    std::memcpy(&high, at + 4, sizeof high);
    real = TRELMONT_SHUFFLE(low, high, 0, 2, 4, 6);
    imag = TRELMONT_SHUFFLE(low, high, 1, 3, 5, 7);
}

// Lane i of y0 .. y3 side by side at out + 4 * reverse[u0 + i]: a 4 x 4
// transposition.
TRELMONT_KERNEL_BODY void storeBlocks(double* out, const int* reverse, int u0, const V& y0,
                                      const V& y1, const V& y2, const V& y3) {
    const V l01 = TRELMONT_SHUFFLE(y0, y1, 0, 4, 1, 5);
    const V h01 = TRELMONT_SHUFFLE(y0, y1, 2, 6, 3, 7);
    const V l23 = TRELMONT_SHUFFLE(y2, y3, 0, 4, 1, 5);
    const V h23 = TRELMONT_SHUFFLE(y2, y3, 2, 6, 3, 7);
    const V rows[4] = {
        TRELMONT_SHUFFLE(l01, l23, 0, 1, 4, 5), TRELMONT_SHUFFLE(l01, l23, 2, 3, 6, 7),
        TRELMONT_SHUFFLE(h01, h23, 0, 1, 4, 5), TRELMONT_SHUFFLE(h01, h23, 2, 3, 6, 7)};
    for (int i = 0; i < 4; ++i) {
        std::memcpy(out + 4 * reverse[u0 + i], &rows[i], sizeof rows[i]);
    }
}

// The first two stages of the half-size transform, fused with the load: the
// points z[u], z[u + m/4], z[u + m/2], z[u + 3m/4] (z[v] = x[2v] + i x[2v + 1])
// are the four length-1 transforms that the block at 4 * reverse(u) combines.
TRELMONT_KERNEL_BODY void loadBody(const Plan& plan, const double* __restrict x,
                                   double* __restrict re, double* __restrict im) {
    const int m = plan.m;
    if (m < 4) {
        // N = 2 or 4: one point, or one radix-2 butterfly.
        if (m == 1) {
            re[0] = x[0];
            im[0] = x[1];
        } else {
            re[0] = x[0] + x[2];
            im[0] = x[1] + x[3];
            re[1] = x[0] - x[2];
            im[1] = x[1] - x[3];
        }
        return;
    }
    const int quarter = m / 4;
    const double* __restrict x0 = x;
    const double* __restrict x1 = x + 2 * quarter;
    const double* __restrict x2 = x + 4 * quarter;
    const double* __restrict x3 = x + 6 * quarter;
    const int* __restrict reverse = plan.bitReverse4;
    int u = 0;
    if (quarter % 4 == 0) {
        // Four values of u at a time, in vectors of four (the arithmetic is
        // the scalar loop's, lane by lane), each block's four results then
        // brought side by side.
        for (; u < quarter; u += 4) {
            V s0r, s0i, s1r, s1i, s2r, s2i, s3r, s3i;
            pairs(x0 + 2 * u, s0r, s0i);
            pairs(x2 + 2 * u, s1r, s1i);
            pairs(x1 + 2 * u, s2r, s2i);
            pairs(x3 + 2 * u, s3r, s3i);
            const V t0r = s0r + s1r;
            const V t0i = s0i + s1i;
            const V t1r = s0r - s1r;
            const V t1i = s0i - s1i;
            const V t2r = s2r + s3r;
            const V t2i = s2i + s3i;
            const V t3r = s2r - s3r;
            const V t3i = s2i - s3i;
            storeBlocks(re, reverse, u, t0r + t2r, t1r + t3i, t0r - t2r, t1r - t3i);
            storeBlocks(im, reverse, u, t0i + t2i, t1i - t3r, t0i - t2i, t1i + t3r);
        }
    }
    for (; u < quarter; ++u) {
        // Sub-blocks 0 to 3 of the block hold the transforms of the points
        // 0, 2, 1, 3 (mod 4) of its sequence.
        const double s0r = x0[2 * u];
        const double s0i = x0[2 * u + 1];
        const double s1r = x2[2 * u];
        const double s1i = x2[2 * u + 1];
        const double s2r = x1[2 * u];
        const double s2i = x1[2 * u + 1];
        const double s3r = x3[2 * u];
        const double s3i = x3[2 * u + 1];
        const double t0r = s0r + s1r;
        const double t0i = s0i + s1i;
        const double t1r = s0r - s1r;
        const double t1i = s0i - s1i;
        const double t2r = s2r + s3r;
        const double t2i = s2i + s3i;
        const double t3r = s2r - s3r;
        const double t3i = s2i - s3i;
        const int p = 4 * reverse[u];
        re[p] = t0r + t2r;
        im[p] = t0i + t2i;
        re[p + 1] = t1r + t3i;
        im[p + 1] = t1i - t3r;
        re[p + 2] = t0r - t2r;
        im[p + 2] = t0i - t2i;
        re[p + 3] = t1r - t3i;
        im[p + 3] = t1i + t3r;
    }
}

// One radix-4 block of quarter h: sub-blocks a, b, c, d hold the transforms of
// the points 0, 2, 1, 3 (mod 4) of the block's sequence; b takes w2, c w1 and
// d w3.
TRELMONT_KERNEL_BODY void radix4Block(double* __restrict ar, double* __restrict ai,
                                      double* __restrict br, double* __restrict bi,
                                      double* __restrict cr, double* __restrict ci,
                                      double* __restrict dr, double* __restrict di,
                                      const double* __restrict w, int h) {
    const double* __restrict w1r = w;
    const double* __restrict w1i = w + h;
    const double* __restrict w2r = w + 2 * h;
    const double* __restrict w2i = w + 3 * h;
    const double* __restrict w3r = w + 4 * h;
    const double* __restrict w3i = w + 5 * h;
    for (int j = 0; j < h; ++j) {
        const double s0r = ar[j];
        const double s0i = ai[j];
        const double s1r = w2r[j] * br[j] - w2i[j] * bi[j];
        const double s1i = w2r[j] * bi[j] + w2i[j] * br[j];
        const double s2r = w1r[j] * cr[j] - w1i[j] * ci[j];
        const double s2i = w1r[j] * ci[j] + w1i[j] * cr[j];
        const double s3r = w3r[j] * dr[j] - w3i[j] * di[j];
        const double s3i = w3r[j] * di[j] + w3i[j] * dr[j];
        const double t0r = s0r + s1r;
        const double t0i = s0i + s1i;
        const double t1r = s0r - s1r;
        const double t1i = s0i - s1i;
        const double t2r = s2r + s3r;
        const double t2i = s2i + s3i;
        const double t3r = s2r - s3r;
        const double t3i = s2i - s3i;
        ar[j] = t0r + t2r;
        ai[j] = t0i + t2i;
        br[j] = t1r + t3i;
        bi[j] = t1i - t3r;
        cr[j] = t0r - t2r;
        ci[j] = t0i - t2i;
        dr[j] = t1r - t3i;
        di[j] = t1i + t3r;
    }
}

template <int H>
TRELMONT_KERNEL_BODY void radix4PassOf(double* re, double* im, const double* w, int m) {
    for (int block = 0; block < m; block += 4 * H) {
        double* r = re + block;
        double* i = im + block;
        radix4Block(r, i, r + H, i + H, r + 2 * H, i + 2 * H, r + 3 * H, i + 3 * H, w, H);
    }
}

TRELMONT_KERNEL_BODY void radix4Pass(double* re, double* im, const double* w, int h, int m) {
    for (int block = 0; block < m; block += 4 * h) {
        double* r = re + block;
        double* i = im + block;
        radix4Block(r, i, r + h, i + h, r + 2 * h, i + 2 * h, r + 3 * h, i + 3 * h, w, h);
    }
}

TRELMONT_KERNEL_BODY void radix2Last(double* __restrict ar, double* __restrict ai,
                                     double* __restrict br, double* __restrict bi,
                                     const double* __restrict wr, const double* __restrict wi,
                                     int h) {
    for (int j = 0; j < h; ++j) {
        const double tr = wr[j] * br[j] - wi[j] * bi[j];
        const double ti = wr[j] * bi[j] + wi[j] * br[j];
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] = ar[j] + tr;
        ai[j] = ai[j] + ti;
    }
}

// The bins of the real window from the half-size transform Z: with
// A = Z[k], B = conj(Z[m - k]), X[k] = (A + B) / 2 - i exp(-2 pi i k / N) (A - B) / 2,
// and X[m - k] from the same sums. The pairs k, m - k for 0 < k < m / 2.
TRELMONT_KERNEL_BODY void splitPairs(const double* __restrict zr, const double* __restrict zi,
                                     const double* __restrict hc, const double* __restrict hs,
                                     double* __restrict xr, double* __restrict xi, int m) {
    const int half = m / 2;
    for (int k = 1; k < half; ++k) {
        const double sr = zr[k] + zr[m - k];
        const double dr = zr[k] - zr[m - k];
        const double si = zi[k] + zi[m - k];
        const double di = zi[k] - zi[m - k];
        const double a = 0.5 * sr;
        const double c = 0.5 * di;
        const double b = hc[k] * si + hs[k] * dr;
        const double d = hs[k] * si - hc[k] * dr;
        xr[k] = a + b;
        xi[k] = c + d;
        xr[m - k] = a - b;
        xi[m - k] = d - c;
    }
}

TRELMONT_KERNEL_BODY void transformBody(const Plan& plan, double* re, double* im, double* binRe,
                                        double* binIm) {
    const int m = plan.m;
    int h = 4;
    int stage = 2;
    if (stage + 2 <= plan.stages) {
        radix4PassOf<4>(re, im, plan.passTwiddles, m);
        h *= 4;
        stage += 2;
    }
    for (; stage + 2 <= plan.stages; stage += 2, h *= 4) {
        radix4Pass(re, im, plan.passTwiddles + 2 * (h - 4), h, m);
    }
    if (stage < plan.stages) {
        const int half = m / 2;
        radix2Last(re, im, re + half, im + half, plan.lastRe, plan.lastIm, half);
    }

    binRe[0] = re[0] + im[0];
    binIm[0] = 0.0;
    binRe[m] = re[0] - im[0];
    binIm[m] = 0.0;
    if (m >= 2) {
        splitPairs(re, im, plan.splitRe, plan.splitIm, binRe, binIm, m);
        // X[m/2] = conj(Z[m/2]): its factor is exactly -i.
        binRe[m / 2] = re[m / 2];
        binIm[m / 2] = -im[m / 2];
    }
}

TRELMONT_KERNEL_BODY void taperBody(const int* __restrict values, const double* __restrict weights,
                                    int count, double* __restrict out) {
    for (int i = 0; i < count; ++i) {
        out[i] = static_cast<double>(values[i]) * weights[i];
    }
}

TRELMONT_KERNEL_BODY void magnitudeBody(const double* __restrict re, const double* __restrict im,
                                        double rootN, int count, double* __restrict out) {
    for (int k = 0; k < count; ++k) {
        out[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]) / rootN;
    }
}

// The eight parts of a run side by side, lane j for part j.
using Parts = double __attribute__((vector_size(8 * sizeof(double))));
using PartInts = int __attribute__((vector_size(8 * sizeof(int))));
static_assert(partCount == 8);

TRELMONT_KERNEL_BODY void runPartsBody(const double* __restrict magnitudes, int count,
                                       RunParts& parts) {
    Parts sum;
    std::memcpy(&sum, parts.sum, sizeof sum);
    PartInts top = {0, 0, 0, 0, 0, 0, 0, 0};
    PartInts last = {-1, -1, -1, -1, -1, -1, -1, -1};
    PartInts bin = {0, 1, 2, 3, 4, 5, 6, 7};
    int k = 0;
    for (; k + partCount <= count; k += partCount) {
        Parts magnitude;
        std::memcpy(&magnitude, magnitudes + k, sizeof magnitude);
        const PartInts m = __builtin_convertvector(magnitude, PartInts);
        // All ones in the lanes where m >= top: the later bin wins on equal ones.
        const PartInts reached = m >= top;
        last = (bin & reached) | (last & ~reached);
        top = (m & reached) | (top & ~reached);
        sum += magnitude;
        bin += partCount;
    }
    for (int j = 0; j < partCount; ++j) {
        parts.sum[j] = sum[j];
        parts.top[j] = top[j];
        parts.last[j] = last[j];
    }
    // The rest of the run, lane by lane with the same operations.
    for (int j = 0; k + j < count; ++j) {
        const double magnitude = magnitudes[k + j];
        const int m = static_cast<int>(magnitude);
        if (m >= parts.top[j]) {
            parts.top[j] = m;
            parts.last[j] = k + j;
        }
        parts.sum[j] += magnitude;
    }
}

// The compilations. The automatic one uses the compiler's function versions,
// picked when the program loads; under ThreadSanitizer it is the plain code,
// as the clones' resolver runs before the sanitizer's runtime is ready.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
#define TRELMONT_SPECTRUM_X86 1
#define TRELMONT_TARGET_AVX2 __attribute__((target("avx2")))
#define TRELMONT_TARGET_AVX512F __attribute__((target("avx512f")))
#if defined(__SANITIZE_THREAD__)
#define TRELMONT_SPECTRUM_CLONES
#else
#define TRELMONT_SPECTRUM_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#endif
#else
#define TRELMONT_SPECTRUM_X86 0
#define TRELMONT_SPECTRUM_CLONES
#endif

#define TRELMONT_KERNEL_SET(suffix, attribute)                                                     \
    attribute void load##suffix(const Plan& plan, const double* x, double* re, double* im) {       \
        loadBody(plan, x, re, im);                                                                 \
    }                                                                                              \
    attribute void transform##suffix(const Plan& plan, double* re, double* im, double* binRe,      \
                                     double* binIm) {                                              \
        transformBody(plan, re, im, binRe, binIm);                                                 \
    }                                                                                              \
    attribute void taper##suffix(const int* values, const double* weights, int count,              \
                                 double* out) {                                                    \
        taperBody(values, weights, count, out);                                                    \
    }                                                                                              \
    attribute void magnitudes##suffix(const double* re, const double* im, double rootN, int count, \
                                      double* out) {                                               \
        magnitudeBody(re, im, rootN, count, out);                                                  \
    }                                                                                              \
    attribute void runParts##suffix(const double* magnitudes, int count, RunParts& parts) {        \
        runPartsBody(magnitudes, count, parts);                                                    \
    }

TRELMONT_KERNEL_SET(Automatic, TRELMONT_SPECTRUM_CLONES)
TRELMONT_KERNEL_SET(Plain, )
#if TRELMONT_SPECTRUM_X86
TRELMONT_KERNEL_SET(Avx2, TRELMONT_TARGET_AVX2)
TRELMONT_KERNEL_SET(Avx512f, TRELMONT_TARGET_AVX512F)
#endif

}  // namespace

bool runs(Version version) {
    switch (version) {
        case Version::automatic:
        case Version::plain:
            return true;
#if TRELMONT_SPECTRUM_X86
        case Version::avx2:
            return __builtin_cpu_supports("avx2");
        case Version::avx512f:
            return __builtin_cpu_supports("avx512f");
#else
        case Version::avx2:
        case Version::avx512f:
            return false;
#endif
    }
    return false;
}

// A version this processor does not run falls back to the plain code (the
// analyzer only asks for one that runs()).
#if TRELMONT_SPECTRUM_X86
#define TRELMONT_DISPATCH(name, ...)               \
    switch (version) {                             \
        case Version::automatic:                   \
            return name##Automatic(__VA_ARGS__);   \
        case Version::avx2:                        \
            if (runs(Version::avx2)) {             \
                return name##Avx2(__VA_ARGS__);    \
            }                                      \
            break;                                 \
        case Version::avx512f:                     \
            if (runs(Version::avx512f)) {          \
                return name##Avx512f(__VA_ARGS__); \
            }                                      \
            break;                                 \
        case Version::plain:                       \
            break;                                 \
    }                                              \
    return name##Plain(__VA_ARGS__)
#else
#define TRELMONT_DISPATCH(name, ...)         \
    if (version == Version::automatic) {     \
        return name##Automatic(__VA_ARGS__); \
    }                                        \
    return name##Plain(__VA_ARGS__)
#endif

void load(Version version, const Plan& plan, const double* window, double* re, double* im) {
    TRELMONT_DISPATCH(load, plan, window, re, im);
}

void transform(Version version, const Plan& plan, double* re, double* im, double* binRe,
               double* binIm) {
    TRELMONT_DISPATCH(transform, plan, re, im, binRe, binIm);
}

void taper(Version version, const int* values, const double* weights, int count, double* out) {
    TRELMONT_DISPATCH(taper, values, weights, count, out);
}

void magnitudes(Version version, const double* re, const double* im, double rootN, int count,
                double* out) {
    TRELMONT_DISPATCH(magnitudes, re, im, rootN, count, out);
}

void runParts(Version version, const double* magnitudes, int count, RunParts& parts) {
    TRELMONT_DISPATCH(runParts, magnitudes, count, parts);
}

}  // namespace acquisition::spectrum_kernels
