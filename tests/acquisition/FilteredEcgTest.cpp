#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "records/BaselineFilter.h"
#include "records/FrontEndCalibration.h"
#include "tests/support/SimulatedEcg.h"

namespace {

using records::calibration::perMillivolt;

std::vector<double> filtered(const std::vector<double>& values) {
    return records::BaselineFilter::apply(values);
}

// FILTER on the simulator's ECG as the program records it: breathing and
// drift go, and what a cardiologist measures on the median beat stays.
TEST(FilteredEcgTest, WanderGoesAndTheBeatKeepsItsLevels) {
    for (const double bpm : {72.0, 90.0}) {
        const testsupport::SimulatedEcg ecg = testsupport::recordSimulatedEcg(bpm, 1200);
        ASSERT_EQ(ecg.values.size(), 1200u);
        std::vector<double> wandering = ecg.values;
        testsupport::addWander(wandering, 1.0, 0.05);
        testsupport::addWander(wandering, 0.3, 0.3);

        const std::vector<double> plain = filtered(ecg.values);
        const std::vector<double> cleaned = filtered(wandering);
        const auto second = static_cast<std::size_t>(ecg.valuesPerSecond);
        double squares = 0.0;
        std::size_t n = 0;
        for (std::size_t k = second; k + second < plain.size(); ++k, ++n) {
            squares += std::pow((plain[k] - cleaned[k]) / perMillivolt, 2);
        }
        EXPECT_LE(std::sqrt(squares / static_cast<double>(n)), 0.05) << bpm;

        const testsupport::BeatLevels raw = testsupport::medianBeat(ecg.values, ecg.heart);
        for (const auto& out : {plain, cleaned}) {
            const testsupport::BeatLevels beat = testsupport::medianBeat(out, ecg.heart);
            EXPECT_NEAR(beat.r, raw.r, 0.1 * raw.r) << bpm;
            EXPECT_NEAR(beat.st, raw.st, 0.05) << bpm;
            EXPECT_NEAR(beat.tPeak, raw.tPeak, 0.05) << bpm;
        }
        // The ECG's own levels are those of the simulated beat, so the
        // comparison above measures something.
        EXPECT_GT(raw.r, 0.8) << bpm;
        EXPECT_GT(raw.tPeak, 0.2) << bpm;
    }
}

}  // namespace
