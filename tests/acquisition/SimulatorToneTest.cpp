#include "acquisition/FmTone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace acquisition {
namespace {

constexpr double rate = 199680.0;

std::vector<int> sixteenBit(FmTone& tone, std::size_t samples) {
    std::vector<char> bytes(2 * samples);
    tone.fill(bytes.data(), samples, 16);
    std::vector<int> result(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        const auto lo = static_cast<unsigned char>(bytes[2 * i]);
        const auto hi = static_cast<unsigned char>(bytes[2 * i + 1]);
        result[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
    }
    return result;
}

std::vector<int> eightBit(FmTone& tone, std::size_t samples) {
    std::vector<char> bytes(samples);
    tone.fill(bytes.data(), samples, 8);
    std::vector<int> result(samples);
    std::transform(bytes.begin(), bytes.end(), result.begin(),
                   [](char b) { return static_cast<unsigned char>(b); });
    return result;
}

int upwardCrossings(const std::vector<int>& samples, int centre) {
    int count = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        count += samples[i - 1] < centre && samples[i] >= centre ? 1 : 0;
    }
    return count;
}

// The front end's tone: 1716 Hz at 0 mV, 164.4 Hz more per millivolt.
constexpr double carrierHertz = 1716.0;
constexpr double hertzPerMillivolt = 164.4;

// Cycles of the tone over [0, seconds): the integral of its frequency.
double expectedCycles(const HeartSignal& heart, double seconds) {
    constexpr double step = 1e-4;
    double integral = 0.0;
    for (double t = step / 2; t < seconds; t += step) {
        integral += heart.millivolts(t) * step;
    }
    return carrierHertz * seconds + hertzPerMillivolt * integral;
}

class SimulatorToneRate : public ::testing::TestWithParam<double> {};

// Counting cycles checks carrier, deviation and phase continuity at once: a
// phase jump, a wrong scale or a lost sample changes the count.
TEST_P(SimulatorToneRate, CyclesFollowTheIntegralOfTheFrequency) {
    HeartSignal::Settings settings;
    settings.beatsPerMinute = GetParam();
    settings.wanderMillivolts = 1.0;
    settings.wanderHertz = 0.2;
    const HeartSignal heart(settings);
    constexpr double seconds = 2.0;
    const auto samples = static_cast<std::size_t>(seconds * rate);
    const double cycles = expectedCycles(heart, seconds);

    FmTone wide(heart, rate);
    EXPECT_NEAR(upwardCrossings(sixteenBit(wide, samples), 0), cycles, 1.0);
    FmTone narrow(heart, rate);
    EXPECT_NEAR(upwardCrossings(eightBit(narrow, samples), 128), cycles, 1.0);
}

INSTANTIATE_TEST_SUITE_P(HeartRates, SimulatorToneRate, ::testing::Values(60.0, 72.0, 110.0));

TEST(SimulatorTone, SwingsAboutHalfOfFullScaleInBothDepths) {
    const HeartSignal heart;
    FmTone wide(heart, rate);
    const std::vector<int> words = sixteenBit(wide, 20000);
    EXPECT_NEAR(*std::max_element(words.begin(), words.end()), 16384, 8);
    EXPECT_NEAR(*std::min_element(words.begin(), words.end()), -16384, 8);

    FmTone narrow(heart, rate);
    const std::vector<int> bytes = eightBit(narrow, 20000);
    EXPECT_EQ(*std::max_element(bytes.begin(), bytes.end()), 192);
    EXPECT_EQ(*std::min_element(bytes.begin(), bytes.end()), 64);
}

TEST(SimulatorTone, SplitFillsContinueTheToneAndRestartBeginsAgain) {
    const HeartSignal heart;
    FmTone whole(heart, rate);
    const std::vector<int> once = sixteenBit(whole, 3000);
    FmTone pieces(heart, rate);
    std::vector<int> joined;
    for (int i = 0; i < 3; ++i) {
        const std::vector<int> part = sixteenBit(pieces, 1000);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, once);
    EXPECT_EQ(pieces.nextSample(), 3000u);

    pieces.restart();
    EXPECT_EQ(sixteenBit(pieces, 1000), std::vector<int>(once.begin(), once.begin() + 1000));
}

}  // namespace
}  // namespace acquisition
