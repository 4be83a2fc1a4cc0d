#include "acquisition/HeartSignal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace acquisition {
namespace {

struct Extreme {
    double time = 0.0;
    double millivolts = 0.0;
};

// The largest (or smallest, with sign -1) value of the beat in [from, to),
// sampled every 0.1 ms.
Extreme extreme(const HeartSignal& heart, double from, double to, double sign) {
    Extreme best{from, heart.beatMillivolts(from)};
    for (double t = from; t < to; t += 1e-4) {
        const double v = heart.beatMillivolts(t);
        if (sign * v > sign * best.millivolts) {
            best = {t, v};
        }
    }
    return best;
}

HeartSignal atRate(double beatsPerMinute) {
    HeartSignal::Settings settings;
    settings.beatsPerMinute = beatsPerMinute;
    return HeartSignal(settings);
}

class HeartSignalRate : public ::testing::TestWithParam<double> {};

TEST_P(HeartSignalRate, EachBeatHasItsWavesInOrder) {
    const HeartSignal heart = atRate(GetParam());
    const double period = heart.beatPeriod();
    EXPECT_DOUBLE_EQ(period, 60.0 / GetParam());
    for (int beat = 0; beat < 3; ++beat) {
        const double start = beat * period;
        const double r = heart.rPeakTime(beat);
        const Extreme peak = extreme(heart, start, start + period, 1.0);
        // S is deeper than Q, which pulls the summed peak slightly early.
        EXPECT_NEAR(peak.time, r, 1e-3);
        EXPECT_GT(peak.millivolts, 1.0);
        EXPECT_LT(peak.millivolts, 1.5);

        const Extreme q = extreme(heart, r - 0.06, r, -1.0);
        const Extreme s = extreme(heart, r, r + 0.08, -1.0);
        EXPECT_LT(q.millivolts, -0.05);
        EXPECT_LT(s.millivolts, -0.1);
        const Extreme p = extreme(heart, start, r - 0.06, 1.0);
        const Extreme t = extreme(heart, r + 0.08, start + period, 1.0);
        EXPECT_GT(p.millivolts, 0.1);
        EXPECT_GT(t.millivolts, p.millivolts);
        EXPECT_LT(t.millivolts, 0.5);
        // Between T and the next P the trace rests on the baseline.
        EXPECT_NEAR(heart.beatMillivolts(start), 0.0, 0.06);
    }
}

TEST_P(HeartSignalRate, RepeatsEveryBeatPeriod) {
    const HeartSignal heart = atRate(GetParam());
    for (double t = 0.0; t < 2.0; t += 0.0137) {
        EXPECT_NEAR(heart.millivolts(t + 5 * heart.beatPeriod()), heart.millivolts(t), 1e-9);
    }
}

// Faster than about 120 per minute T runs into the next P, as in a real ECG,
// and the beat no longer returns to the baseline in between.
INSTANTIATE_TEST_SUITE_P(Rates, HeartSignalRate, ::testing::Values(60.0, 72.0, 110.0));

TEST(HeartSignal, RefusesARateThatIsNotPositive) {
    HeartSignal::Settings settings;
    for (double rate : {0.0, -60.0, std::nan(""), HUGE_VAL}) {
        settings.beatsPerMinute = rate;
        EXPECT_THROW(HeartSignal{settings}, std::invalid_argument) << rate;
    }
}

TEST(HeartSignal, WanderAndNoiseAreOffByDefault) {
    const HeartSignal heart;
    for (double t = 0.0; t < 3.0; t += 0.01) {
        EXPECT_EQ(heart.millivolts(t), heart.beatMillivolts(t));
    }
}

TEST(HeartSignal, WanderIsASlowSineOnTopOfTheBeat) {
    HeartSignal::Settings settings;
    settings.wanderMillivolts = 0.4;
    settings.wanderHertz = 0.3;
    const HeartSignal heart(settings);
    double largest = 0.0;
    for (double t = 0.0; t < 1.0 / 0.3; t += 0.001) {
        const double wander = heart.millivolts(t) - heart.beatMillivolts(t);
        largest = std::max(largest, wander);
    }
    EXPECT_NEAR(largest, 0.4, 1e-3);
    EXPECT_NEAR(heart.millivolts(0.0) - heart.beatMillivolts(0.0), 0.0, 1e-12);
    EXPECT_NEAR(heart.millivolts(2.5 / 0.3) - heart.beatMillivolts(2.5 / 0.3), 0.0, 1e-9);
}

std::vector<double> noiseSamples(const HeartSignal& heart, double seconds, double step) {
    std::vector<double> result;
    for (double t = 0.0; t < seconds; t += step) {
        result.push_back(heart.noiseMillivolts(t));
    }
    return result;
}

TEST(HeartSignal, NoiseHasTheSetRmsAndComesBackTheSameForTheSameSeed) {
    HeartSignal::Settings settings;
    settings.noiseMillivolts = 0.05;
    const HeartSignal heart(settings);
    const std::vector<double> noise = noiseSamples(heart, 100.0, 1e-3);
    const double n = static_cast<double>(noise.size());
    const double mean = std::accumulate(noise.begin(), noise.end(), 0.0) / n;
    const double rms =
        std::sqrt(std::inner_product(noise.begin(), noise.end(), noise.begin(), 0.0) / n);
    EXPECT_NEAR(mean, 0.0, 0.002);
    EXPECT_NEAR(rms, 0.05, 0.0025);

    EXPECT_EQ(noiseSamples(HeartSignal(settings), 1.0, 1e-3), noiseSamples(heart, 1.0, 1e-3));
    settings.noiseSeed = 2;
    EXPECT_NE(noiseSamples(HeartSignal(settings), 1.0, 1e-3), noiseSamples(heart, 1.0, 1e-3));
}

}  // namespace
}  // namespace acquisition
