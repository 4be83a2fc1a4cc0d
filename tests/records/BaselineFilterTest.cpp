#include "records/BaselineFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "records/FrontEndCalibration.h"

namespace records {
namespace {

constexpr double level = RecordBuffer::fillLevel;
constexpr double perMillivolt = calibration::perMillivolt;
constexpr double valuesPerSecond = BaselineFilter::defaultValuesPerSecond;

std::vector<double> filter(const std::vector<double>& values) {
    std::vector<double> out = BaselineFilter::apply(values);
    EXPECT_EQ(out.size(), values.size());
    return out;
}

// The impulse test of electrocardiographs: a 3 mV pulse 100 ms long on a flat
// record may leave at most 0.1 mV beside it and a slope of at most 0.3 mV/s
// after it. A high-pass that removes breathing fails it with a dip of about
// 0.3 mV; the old segment fit lifted four samples by 9.6 mV.
TEST(BaselineFilterTest, ARectangularPulseLeavesNoDisplacementOrSlope) {
    for (const double base : {level, 61.0, 40.0}) {
        std::vector<double> record(1000, base);
        const int first = 500;
        const int width = static_cast<int>(std::lround(0.1 * valuesPerSecond));
        ASSERT_EQ(width, 5);
        for (int k = first; k < first + width; ++k) {
            record[static_cast<std::size_t>(k)] += 3.0 * perMillivolt;  // 16.44
        }
        const std::vector<double> out = filter(record);
        double worst = 0.0;
        for (int k = 0; k < 1000; ++k) {
            if (k < first || k >= first + width) {
                worst = std::max(worst, std::abs(out[static_cast<std::size_t>(k)] - level));
            }
        }
        EXPECT_LE(worst, 0.1 * perMillivolt) << base;
        double slope = 0.0;
        for (int k = first + width + 1; k < 1000; ++k) {
            const double step =
                out[static_cast<std::size_t>(k)] - out[static_cast<std::size_t>(k - 1)];
            slope = std::max(slope, std::abs(step) * valuesPerSecond / perMillivolt);
        }
        EXPECT_LE(slope, 0.3) << base;
        // The pulse itself keeps its height.
        EXPECT_NEAR(out[static_cast<std::size_t>(first + 2)] - level, 3.0 * perMillivolt, 1e-9);
    }
}

TEST(BaselineFilterTest, AFlatOrSlowlyRisingRecordBecomesZeroMillivolts) {
    std::vector<double> flat(300, 100.0);
    for (const double v : filter(flat)) {
        EXPECT_NEAR(v, level, 0.01);
    }
    std::vector<double> ramp(300);
    for (std::size_t k = 0; k < ramp.size(); ++k) {
        ramp[k] = 50.0 + 0.02 * static_cast<double>(k);  // 0.18 mV a second
    }
    // Away from the ends, where a window can only look one way.
    const std::vector<double> levelled = filter(ramp);
    for (std::size_t k = 15; k + 15 < levelled.size(); ++k) {
        EXPECT_NEAR(levelled[k], level, 0.01) << k;
    }
    // A level step (electrode contact) is followed within half a window.
    std::vector<double> step(400, 60.0);
    std::fill(step.begin() + 200, step.end(), 80.0);
    const std::vector<double> out = filter(step);
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (k < 185 || k > 215) {
            EXPECT_NEAR(out[k], level, 0.01) << k;
        }
    }
}

TEST(BaselineFilterTest, ShortAndEmptyRecordsAndNonNumbers) {
    EXPECT_TRUE(filter({}).empty());
    EXPECT_NEAR(filter({70.0})[0], level, 1e-12);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> record(100, 65.0);
    record[10] = nan;
    record[11] = inf;
    record[50] = -inf;
    const std::vector<double> out = filter(record);
    EXPECT_TRUE(std::isnan(out[10]));
    EXPECT_EQ(out[11], inf);
    EXPECT_EQ(out[50], -inf);
    // The numbers around them are filtered as if the gaps were not there.
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (k != 10 && k != 11 && k != 50) {
            EXPECT_NEAR(out[k], level, 1e-12) << k;
        }
    }
}

TEST(BaselineFilterTest, WindowsFollowTheValueRate) {
    EXPECT_EQ(BaselineFilter::windowLength(0.2, 48.75), 11);
    EXPECT_EQ(BaselineFilter::windowLength(0.6, 48.75), 29);
    EXPECT_EQ(BaselineFilter::windowLength(0.6, 487.5), 293);
    EXPECT_EQ(BaselineFilter::windowLength(0.2, 1.0), 3);
    EXPECT_EQ(BaselineFilter::windowLength(0.2, std::numeric_limits<double>::quiet_NaN()), 3);
    // A median shortened at the record's edges takes the mean of its two
    // middle values.
    std::vector<double> out;
    BaselineFilter::runningMedian({1.0, 2.0, 10.0, 4.0}, 5, out);
    EXPECT_EQ(out, (std::vector<double>{2.0, 3.0, 3.0, 4.0}));
}

}  // namespace
}  // namespace records
