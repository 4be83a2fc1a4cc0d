#include "acquisition/SpectrumAnalyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <stdexcept>
#include <vector>

#include "FakeWaveInput.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/RecorderM8.h"
#include "acquisition/SampleCursor.h"
#include "tests/support/Pcm.h"

namespace acquisition {
namespace {

constexpr int defaultRate = 199680;
const double pi = std::acos(-1.0);

using testsupport::pcm16;

class SpectrumAnalyzerTest : public ::testing::Test {
protected:
    void feed(SpectrumAnalyzer& analyzer, const std::vector<int>& samples) {
        const std::vector<char> bytes = pcm16(samples);
        SampleCursor cursor(bytes.data(), m16_, static_cast<int>(samples.size()));
        analyzer.loadBlock(cursor);
    }

    static std::vector<int> constant(int count, int value) {
        return std::vector<int>(static_cast<std::size_t>(count), value);
    }

    static std::vector<int> randomSamples(int count, int range, unsigned seed) {
        std::mt19937 generator(seed);
        std::uniform_int_distribution<int> distribution(-range, range);
        std::vector<int> samples;
        for (int i = 0; i < count; ++i) {
            samples.push_back(distribution(generator));
        }
        return samples;
    }

    // The strongest bin of the lower half of the spectrum.
    static int strongestBin(const SpectrumAnalyzer& analyzer) {
        int best = 0;
        for (int k = 1; k < analyzer.fftPoints() / 2; ++k) {
            if (analyzer.magnitude(k) > analyzer.magnitude(best)) {
                best = k;
            }
        }
        return best;
    }

    // The transform checked against the discrete Fourier transform of the
    // window, summed directly.
    static void expectMatchesDirectTransform(const SpectrumAnalyzer& analyzer) {
        const int n = analyzer.fftPoints();
        const std::vector<double>& x = analyzer.history();
        for (int k = 0; k < n; ++k) {
            std::complex<long double> sum = 0.0L;
            for (int i = 0; i < n; ++i) {
                const long double angle = -2.0L * std::acos(-1.0L) * ((k * i) % n) / n;
                sum += static_cast<long double>(x[static_cast<std::size_t>(i)]) *
                       std::complex<long double>(std::cos(angle), std::sin(angle));
            }
            const SpectrumAnalyzer::Complex bin = analyzer.bin(k);
            EXPECT_NEAR(bin.re, static_cast<double>(sum.real()), 1e-9) << "bin " << k;
            EXPECT_NEAR(bin.im, static_cast<double>(sum.imag()), 1e-9) << "bin " << k;
            EXPECT_NEAR(analyzer.magnitude(k), static_cast<double>(std::abs(sum)) / std::sqrt(n),
                        1e-9)
                << "bin " << k;
        }
    }

    FakeWaveInput device_;
    RecorderM16 m16_{device_, 4096, defaultRate};
};

TEST_F(SpectrumAnalyzerTest, TablesOfTheTransform) {
    EXPECT_EQ(SpectrumAnalyzer(8, defaultRate).bitReverse(),
              (std::vector<int>{0, 4, 2, 6, 1, 5, 3, 7}));

    const SpectrumAnalyzer analyzer(4096, defaultRate);
    const std::vector<int>& reverse = analyzer.bitReverse();
    ASSERT_EQ(reverse.size(), 4096U);
    for (int i = 0; i < 4096; ++i) {
        int reversed = 0;
        for (int bit = 0; bit < 12; ++bit) {
            reversed |= ((i >> bit) & 1) << (11 - bit);
        }
        ASSERT_EQ(reverse[static_cast<std::size_t>(i)], reversed) << i;
    }

    EXPECT_EQ(SpectrumAnalyzer(1024, defaultRate).stages(), 10);
    EXPECT_EQ(SpectrumAnalyzer(2048, defaultRate).stages(), 11);
    EXPECT_EQ(analyzer.stages(), 12);
    EXPECT_EQ(SpectrumAnalyzer(8192, defaultRate).stages(), 13);
    EXPECT_THROW(SpectrumAnalyzer(1000, defaultRate), std::invalid_argument);
    EXPECT_THROW(SpectrumAnalyzer(0, defaultRate), std::invalid_argument);
}

TEST_F(SpectrumAnalyzerTest, BinForFrequencyTruncates) {
    EXPECT_EQ(SpectrumAnalyzer(4096, defaultRate).binForFrequency(1000), 20);
    EXPECT_EQ(SpectrumAnalyzer(2048, defaultRate).binForFrequency(1000), 10);
    EXPECT_EQ(SpectrumAnalyzer(4096, defaultRate).binForFrequency(1950), 40);
    EXPECT_EQ(SpectrumAnalyzer(4096, defaultRate).binForFrequency(48), 0);
    EXPECT_EQ(SpectrumAnalyzer(8192, 798720).binForFrequency(2000), 20);
}

TEST_F(SpectrumAnalyzerTest, WholeBufferWindowIsASineTaper) {
    SpectrumAnalyzer analyzer(4096, defaultRate);
    feed(analyzer, constant(4096, 10000));
    const std::vector<double>& h = analyzer.history();
    EXPECT_NEAR(h[0], 100.0, 1e-9);  // weight 0.01 at the first sample
    EXPECT_EQ(h[2048], 10000.0);     // 1.0 at the middle
    for (int i = 0; i < 4096; ++i) {
        const double weight = 0.01 + 0.99 * std::sin(pi * i / 4096);
        ASSERT_NEAR(h[static_cast<std::size_t>(i)], 10000.0 * weight, 1e-9) << i;
    }
}

TEST_F(SpectrumAnalyzerTest, ShortBlocksSlideThroughTheWindowOldestFirst) {
    SpectrumAnalyzer analyzer(4096, defaultRate);
    ASSERT_EQ(analyzer.history(), std::vector<double>(4096, 0.0));

    auto weight = [](int i) { return 0.99 * std::cos((i - 512) * pi / 4096) + 0.01; };
    EXPECT_NEAR(weight(0), 0.99 * std::cos(pi / 8) + 0.01, 1e-15);
    EXPECT_NEAR(weight(0), 0.92464, 1e-5);

    for (int block = 1; block <= 5; ++block) {
        feed(analyzer, constant(1024, 1000 * block));
        const std::vector<double>& h = analyzer.history();
        for (int i = 0; i < 4096; ++i) {
            // Position i holds sample i % 1024 of the block that entered
            // (4 - i / 1024) blocks before the newest one; zeros before the first.
            const int source = block - (3 - i / 1024);
            const double expected = source < 1 ? 0.0 : 1000.0 * source * weight(i % 1024);
            ASSERT_NEAR(h[static_cast<std::size_t>(i)], expected, 1e-9)
                << "block " << block << " position " << i;
        }
        EXPECT_EQ(h[3072 + 512], 1000.0 * block);  // middle of the newest block: weight 1
    }
}

TEST_F(SpectrumAnalyzerTest, BlocksOfAnySizeUpToTheWindow) {
    SpectrumAnalyzer analyzer(512, defaultRate);
    feed(analyzer, constant(300, 1000));
    feed(analyzer, constant(300, 2000));
    const std::vector<double>& h = analyzer.history();
    auto weight = [](int i) { return 0.99 * std::cos((i - 150) * pi / 512) + 0.01; };
    for (int i = 0; i < 512; ++i) {
        // The newest block fills positions 212 to 511, the older one keeps
        // its last 212 samples in front of it.
        const double expected = i >= 212 ? 2000.0 * weight(i - 212) : 1000.0 * weight(i + 88);
        ASSERT_NEAR(h[static_cast<std::size_t>(i)], expected, 1e-9) << i;
    }
}

TEST_F(SpectrumAnalyzerTest, RunsOfMagnitudesAreTheSingleMagnitudes) {
    SpectrumAnalyzer analyzer(1024, defaultRate);
    feed(analyzer, randomSamples(1024, 32767, 3));
    analyzer.transform();
    std::vector<double> run(1024, -1.0);
    analyzer.magnitudes(0, 1024, run.data());
    for (int k = 0; k < 1024; ++k) {
        ASSERT_EQ(run[static_cast<std::size_t>(k)], analyzer.magnitude(k)) << k;
    }
    analyzer.magnitudes(7, 3, run.data());
    EXPECT_EQ(run[0], analyzer.magnitude(7));
    EXPECT_EQ(run[2], analyzer.magnitude(9));
}

TEST_F(SpectrumAnalyzerTest, BlockLongerThanTheWindowIsIgnored) {
    SpectrumAnalyzer analyzer(1024, defaultRate);
    feed(analyzer, randomSamples(1024, 1000, 7));
    analyzer.transform();
    const std::vector<double> history = analyzer.history();
    const double magnitude = analyzer.magnitude(3);

    feed(analyzer, randomSamples(2048, 1000, 8));
    EXPECT_EQ(analyzer.history(), history);
    EXPECT_EQ(analyzer.magnitude(3), magnitude);
}

TEST_F(SpectrumAnalyzerTest, TransformIsTheDiscreteFourierTransformOfTheWindow) {
    SpectrumAnalyzer whole(64, defaultRate);
    feed(whole, randomSamples(64, 1000, 1));
    whole.transform();
    expectMatchesDirectTransform(whole);

    // Sliding: the transform covers the whole window, older blocks included.
    SpectrumAnalyzer sliding(64, defaultRate);
    for (unsigned block = 0; block < 6; ++block) {
        feed(sliding, randomSamples(16, 1000, 100 + block));
    }
    sliding.transform();
    expectMatchesDirectTransform(sliding);
}

TEST_F(SpectrumAnalyzerTest, EverySizeGivesTheDiscreteFourierTransform) {
    // The half-size transform has sizes of its own: none, a radix-2 pass
    // only, radix-4 passes with and without a last radix-2 one.
    for (int n = 2; n <= 512; n *= 2) {
        SpectrumAnalyzer analyzer(n, defaultRate);
        feed(analyzer, randomSamples(n, 1000, 200 + static_cast<unsigned>(n)));
        analyzer.transform();
        SCOPED_TRACE(n);
        expectMatchesDirectTransform(analyzer);
    }
}

TEST_F(SpectrumAnalyzerTest, ConstantInputPeaksInBinZero) {
    SpectrumAnalyzer analyzer(4096, defaultRate);
    feed(analyzer, constant(4096, 12345));
    analyzer.transform();
    EXPECT_EQ(strongestBin(analyzer), 0);
    EXPECT_GT(analyzer.magnitude(0), 100.0 * analyzer.magnitude(5));
}

TEST_F(SpectrumAnalyzerTest, ToneOf1950HertzPeaksInBin40) {
    SpectrumAnalyzer analyzer(4096, defaultRate);
    std::vector<int> tone;
    for (int i = 0; i < 4096; ++i) {
        tone.push_back(
            static_cast<int>(std::lround(16000.0 * std::sin(2.0 * pi * 1950.0 * i / defaultRate))));
    }
    feed(analyzer, tone);
    analyzer.transform();
    EXPECT_EQ(strongestBin(analyzer), 40);
}

TEST_F(SpectrumAnalyzerTest, EightBitSilenceGivesAnEmptySpectrum) {
    const RecorderM8 m8(device_, 4096, defaultRate);
    SpectrumAnalyzer analyzer(4096, defaultRate);
    const std::vector<char> silence(4096, static_cast<char>(128));
    SampleCursor cursor(silence.data(), m8, 4096);
    analyzer.loadBlock(cursor);
    analyzer.transform();
    for (int k = 0; k < 4096; ++k) {
        ASSERT_EQ(analyzer.magnitude(k), 0.0) << k;
    }
}

}  // namespace
}  // namespace acquisition
