#include "acquisition/ValueEstimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "FakeWaveInput.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/RecorderM8.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "tests/support/Pcm.h"

namespace acquisition {
namespace {

constexpr int defaultRate = 199680;
const double pi = std::acos(-1.0);

using testsupport::pcm16;

class ValueEstimateTest : public ::testing::Test {
protected:
    // Loads one whole-window buffer of 16-bit samples and transforms it.
    void analyse(SpectrumAnalyzer& analyzer, const std::vector<int>& samples) {
        const std::vector<char> bytes = pcm16(samples);
        SampleCursor cursor(bytes.data(), m16_, static_cast<int>(samples.size()));
        analyzer.loadBlock(cursor);
        analyzer.transform();
    }

    static int truncated(const SpectrumAnalyzer& analyzer, int k) {
        return static_cast<int>(analyzer.magnitude(k));
    }

    FakeWaveInput device_;
    RecorderM16 m16_{device_, 4096, defaultRate};
};

TEST_F(ValueEstimateTest, PeakWithEqualNeighboursGivesThePeakItself) {
    // Cosines at bins 34, 35 and 36, divided by the window's taper so that the
    // transform sees them untapered: bin 35 strong, 34 and 36 alike. The side
    // amplitude puts both neighbours near 960.5, clear of the truncation steps
    // whatever the rounding of the samples adds.
    SpectrumAnalyzer analyzer(4096, defaultRate);
    std::vector<int> samples;
    for (int i = 0; i < 4096; ++i) {
        const double wave =
            250.0 * std::cos(2.0 * pi * 35 * i / 4096) +
            30.0245 * (std::cos(2.0 * pi * 34 * i / 4096) + std::cos(2.0 * pi * 36 * i / 4096));
        const double taper = 0.01 + 0.99 * std::sin(pi * i / 4096);
        samples.push_back(static_cast<int>(std::lround(wave / taper)));
    }
    analyse(analyzer, samples);
    ASSERT_EQ(truncated(analyzer, 34), truncated(analyzer, 36));
    ASSERT_GT(truncated(analyzer, 34), 0);
    ASSERT_GT(truncated(analyzer, 35), truncated(analyzer, 34));

    EXPECT_DOUBLE_EQ(estimateValue(analyzer), 56.875);
}

TEST_F(ValueEstimateTest, EqualMagnitudesEverywhereGiveTheLastBin) {
    // An impulse has a flat spectrum; on equal values the later bin wins.
    for (const int n : {64, 4096}) {
        SpectrumAnalyzer analyzer(n, defaultRate);
        std::vector<int> impulse(static_cast<std::size_t>(n), 0);
        impulse[0] = 32767;
        analyse(analyzer, impulse);
        ASSERT_GT(truncated(analyzer, 0), 0);
        for (int k = 1; k <= n / 2; ++k) {
            ASSERT_EQ(truncated(analyzer, k), truncated(analyzer, 0)) << k;
        }
        EXPECT_DOUBLE_EQ(estimateValue(analyzer), (n / 2 - 1) * 1.625) << n;
    }
}

TEST_F(ValueEstimateTest, EdgeCasesGiveFiniteValues) {
    // Peak at bin 0: there is no left neighbour.
    SpectrumAnalyzer constant(4096, defaultRate);
    analyse(constant, std::vector<int>(4096, 20000));
    const double atZero = estimateValue(constant);
    EXPECT_TRUE(std::isfinite(atZero));
    EXPECT_EQ(atZero, 0.0);

    // Silence: every magnitude is 0, the peak is the last bin and both
    // neighbours are 0 (hi + lo = 0).
    const RecorderM8 m8(device_, 4096, defaultRate);
    SpectrumAnalyzer silent(4096, defaultRate);
    const std::vector<char> bytes(4096, static_cast<char>(128));
    SampleCursor cursor(bytes.data(), m8, 4096);
    silent.loadBlock(cursor);
    silent.transform();
    const double atSilence = estimateValue(silent);
    EXPECT_TRUE(std::isfinite(atSilence));
    EXPECT_DOUBLE_EQ(atSilence, 2047 * 1.625);

    EXPECT_EQ(peakDelta(0, 0), 0.0);
    EXPECT_DOUBLE_EQ(peakDelta(10, 30), 0.25);
    EXPECT_DOUBLE_EQ(peakDelta(30, 10), -0.25);
    EXPECT_DOUBLE_EQ(peakDelta(0, 7), 0.5);
}

TEST_F(ValueEstimateTest, ToneValueFollowsItsFrequency) {
    // 1950 Hz is bin 40, and a bin is worth 1.625 whatever the settings.
    SpectrumAnalyzer analyzer(4096, defaultRate);
    std::vector<int> tone;
    for (int i = 0; i < 4096; ++i) {
        tone.push_back(
            static_cast<int>(std::lround(16000.0 * std::sin(2.0 * pi * 1950.0 * i / defaultRate))));
    }
    analyse(analyzer, tone);
    EXPECT_NEAR(estimateValue(analyzer), 40 * 1.625, 0.5 * 1.625);

    // A tone a third of a bin higher moves the value toward the next bin.
    SpectrumAnalyzer shifted(4096, defaultRate);
    std::vector<int> higher;
    for (int i = 0; i < 4096; ++i) {
        higher.push_back(static_cast<int>(
            std::lround(16000.0 * std::sin(2.0 * pi * (1950.0 + 16.25) * i / defaultRate))));
    }
    analyse(shifted, higher);
    EXPECT_GT(estimateValue(shifted), estimateValue(analyzer));
    EXPECT_LT(estimateValue(shifted), 41 * 1.625);
}

}  // namespace
}  // namespace acquisition
