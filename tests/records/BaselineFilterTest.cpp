#include "records/BaselineFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "records/RecordBuffer.h"

namespace records {
namespace {

constexpr double fill = 57.2;
constexpr double tolerance = 1e-9;

std::vector<double> levels(double first, int firstCount, double second, int secondCount) {
    std::vector<double> values(static_cast<std::size_t>(firstCount), first);
    values.insert(values.end(), static_cast<std::size_t>(secondCount), second);
    return values;
}

class BaselineFilterTest : public ::testing::Test {
protected:
    // The record as a load leaves it: the values, then the fill level.
    void setRecord(const std::vector<double>& values) {
        values_ = values;
        record_->samples.fill(fill);
        std::copy(values.begin(), values.end(), record_->samples.begin());
        record_->count = static_cast<int>(values.size());
    }

    // The three steps in the order the record display runs them.
    void runFilter() {
        filter_->markSegments();
        filter_->clearNormalEquations();
        filter_->detrend();
    }

    double result(int k) const { return record_->filtered[static_cast<std::size_t>(k)]; }

    // What every run leaves behind: the record as loaded and the fill level
    // beyond it, in both arrays.
    void expectRecordRestored() const {
        ASSERT_EQ(record_->count, static_cast<int>(values_.size()));
        for (std::size_t i = 0; i < values_.size(); ++i) {
            ASSERT_EQ(record_->samples[i], values_[i]) << i;
        }
        for (std::size_t i = values_.size(); i < RecordBuffer::capacity; ++i) {
            ASSERT_EQ(record_->samples[i], fill) << i;
            ASSERT_EQ(record_->filtered[i], fill) << i;
        }
    }

    void expectRaw(int first, int last) const {
        for (int k = first; k <= last; ++k) {
            EXPECT_EQ(result(k), values_[static_cast<std::size_t>(k)]) << k;
        }
    }

    void expectLevelled(int first, int last) const {
        for (int k = first; k <= last; ++k) {
            EXPECT_NEAR(result(k), fill, tolerance) << k;
        }
    }

    // Positions of the framed sequence with a start and with an end mark,
    // up to `last`.
    std::set<int> marksOf(double mark, int last) const {
        std::set<int> positions;
        for (int p = 0; p <= last; ++p) {
            if (record_->markers[static_cast<std::size_t>(p)] == mark) {
                positions.insert(p);
            }
        }
        return positions;
    }

    void expectMarks(const std::set<int>& starts, const std::set<int>& ends) const {
        const int last = record_->count + 29;
        EXPECT_EQ(marksOf(BaselineFilter::startMark, last), starts);
        EXPECT_EQ(marksOf(BaselineFilter::endMark, last), ends);
        EXPECT_EQ(static_cast<int>(starts.size() + ends.size() + marksOf(0.0, last).size()),
                  last + 1);
    }

    // The fitted cubic of the last fitted segment, left in the coefficients.
    double cubic(double t) const {
        const auto& c = record_->coefficients;
        return c[0] + c[1] * t + c[2] * t * t + c[3] * t * t * t;
    }

    std::unique_ptr<RecordBuffer> record_ = std::make_unique<RecordBuffer>();
    std::unique_ptr<BaselineFilter> filter_ = std::make_unique<BaselineFilter>(*record_);
    std::vector<double> values_;
};

TEST_F(BaselineFilterTest, EmptyRecordLeavesOnlyTheFillLevel) {
    record_->samples.fill(5.0);
    record_->filtered.fill(5.0);
    setRecord({});
    record_->samples.fill(5.0);
    runFilter();
    EXPECT_EQ(record_->count, 0);
    expectRecordRestored();
}

TEST_F(BaselineFilterTest, FlatRecordIsFramedAndLevelled) {
    setRecord(std::vector<double>(50, 100.0));
    filter_->markSegments();

    // The framed sequence: frame, record, frame.
    const auto& s = record_->samples;
    for (int p = 0; p < 80; ++p) {
        const int inFrame = p < 15 ? p : p - 65;
        const double expected = (p >= 15 && p < 65)              ? 100.0
                                : (inFrame >= 5 && inFrame < 10) ? 63.2
                                                                 : fill;
        EXPECT_NEAR(s[static_cast<std::size_t>(p)], expected, 1e-12) << p;
    }
    expectMarks({0, 9, 19, 69, 79}, {3, 13, 63, 73});

    filter_->clearNormalEquations();
    filter_->detrend();
    expectRaw(0, 3);  // between the frame's end mark at 13 and the start at 19
    expectLevelled(4, 49);
    expectRecordRestored();
    // The last fitted segment is the record itself: a constant.
    EXPECT_NEAR(cubic(0.0), 100.0, tolerance);
    EXPECT_NEAR(cubic(45.0), 100.0, tolerance);
}

// A step of ten and a step of exactly six both split the record at the jump.
TEST_F(BaselineFilterTest, StepOfSixOrMoreSplitsTheRecord) {
    for (const double high : {110.0, 106.0}) {
        SCOPED_TRACE(high);
        setRecord(levels(100.0, 100, high, 100));
        runFilter();
        expectMarks({0, 9, 19, 119, 219, 229}, {3, 13, 113, 213, 223});
        expectRaw(0, 3);
        expectLevelled(4, 99);
        expectRaw(100, 103);
        expectLevelled(104, 199);
        expectRecordRestored();
    }
}

// Flat means neighbours differ by 0.5 at most: a level that wavers by exactly
// 0.5 is still flat and the step onto it splits the record; one that wavers
// by just over 0.5 is not, and the step goes unmarked.
TEST_F(BaselineFilterTest, FlatnessEndsJustAboveHalfAUnit) {
    for (const double waver : {0.5, 0.6}) {
        SCOPED_TRACE(waver);
        std::vector<double> record = levels(100.0, 100, 110.0, 100);
        for (std::size_t i = 101; i < record.size(); i += 2) {
            record[i] = 110.0 + waver;
        }
        setRecord(record);
        runFilter();
        // The jump lies at framed position 115: a step there is marked with
        // an end at 113 and a start at 119.
        const bool split = waver == 0.5;
        EXPECT_EQ(marksOf(BaselineFilter::endMark, 120).count(113), split ? 1u : 0u);
        EXPECT_EQ(marksOf(BaselineFilter::startMark, 120).count(119), split ? 1u : 0u);
        const std::set<int> ends = split ? std::set<int>{3, 13, 113} : std::set<int>{3, 13};
        EXPECT_EQ(marksOf(BaselineFilter::endMark, 120), ends);
        expectRecordRestored();
    }
}

TEST_F(BaselineFilterTest, StepBelowSixIsFittedAsOneSegment) {
    setRecord(levels(100.0, 100, 105.9, 100));
    runFilter();
    expectMarks({0, 9, 19, 219, 229}, {3, 13, 213, 223});
    expectRecordRestored();

    // The coefficients left behind are those of the one segment, framed
    // positions 19 to 213 at abscissae 1 to 195: a least-squares cubic, so
    // its residuals are orthogonal to 1, t, t^2 and t^3.
    for (int power = 0; power <= 3; ++power) {
        double residualMoment = 0.0;
        double scale = 0.0;
        for (int i = 0; i < 195; ++i) {
            const double t = i + 1;
            const double y = values_[static_cast<std::size_t>(i + 4)];
            residualMoment += (y - cubic(t)) * std::pow(t, power);
            scale += std::abs(y) * std::pow(t, power);
        }
        EXPECT_LT(std::abs(residualMoment), 1e-9 * scale) << "power " << power;
    }

    // The curve is evaluated from abscissa 0 at the segment's first sample,
    // which follows a raw sample far away and is not averaged.
    EXPECT_NEAR(result(4), fill - cubic(0.0) + 100.0, tolerance);
    // The jump survives, so the results are uneven around it: the first
    // sample after it is not averaged either.
    EXPECT_NEAR(result(100), fill - cubic(96.0) + 105.9, tolerance);
    EXPECT_GT(result(100) - result(99), 5.0);
    EXPECT_LT(result(99), fill - 1.0);
    EXPECT_GT(result(100), fill + 1.0);
}

TEST_F(BaselineFilterTest, DifferenceOfExactlyOneIsAveraged) {
    // A flat segment of 16 samples fits exactly, so its results are exactly
    // 57.2; the sample after its end mark rises by 1.0, or by 1.1, above it.
    for (const double rise : {101.0, 101.1}) {
        std::vector<double> values(20, 100.0);
        values.insert(values.end(), 2, rise);
        values.insert(values.end(), 38, 120.0);
        setRecord(values);
        runFilter();
        SCOPED_TRACE(testing::Message() << "rise to " << rise);
        ASSERT_EQ(record_->markers[34], BaselineFilter::endMark);
        ASSERT_EQ(record_->markers[40], BaselineFilter::startMark);

        for (int k = 4; k <= 19; ++k) {
            ASSERT_EQ(result(k), fill) << k;
        }
        const double unaveraged = fill - 100.0 + rise;
        if (rise == 101.0) {
            ASSERT_EQ(unaveraged - fill, 1.0);
            EXPECT_EQ(result(20), (unaveraged + fill) / 2.0);
        } else {
            EXPECT_NEAR(result(20), 58.3, tolerance);
        }
        EXPECT_EQ(result(21), rise);  // raw, between the segments
        expectRecordRestored();
    }
}

TEST_F(BaselineFilterTest, RunningTwiceGivesTheSameResult) {
    std::vector<double> values;
    for (int i = 0; i < 600; ++i) {
        const double wander = 8.0 * std::sin(i / 70.0) + 0.002 * i * i / 60.0;
        const double beat = (i % 40 < 3) ? 4.0 : 0.0;
        values.push_back(100.0 + wander + beat + (i >= 300 ? 20.0 : 0.0) + 0.1 * (i % 7));
    }
    setRecord(values);
    runFilter();
    expectRecordRestored();
    const auto first = record_->filtered;

    runFilter();
    expectRecordRestored();
    EXPECT_EQ(record_->filtered, first);

    filter_->run();
    EXPECT_EQ(record_->filtered, first);
}

TEST_F(BaselineFilterTest, FullRecordIsFilteredUpTo9969AndKeepsTheRest) {
    std::vector<double> values(RecordBuffer::capacity, 100.0);
    for (int i = BaselineFilter::maxFilteredSamples; i < RecordBuffer::capacity; ++i) {
        values[static_cast<std::size_t>(i)] = 300.0 + 0.5 * i;
    }
    ASSERT_EQ(BaselineFilter::maxFilteredSamples, 9969);
    setRecord(values);
    runFilter();
    ASSERT_EQ(record_->count, 10000);
    expectRaw(0, 3);
    expectLevelled(4, 9968);
    expectRaw(9969, 9999);
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(record_->samples[i], values[i]) << i;
    }
    const auto full = record_->filtered;

    // The filtered part is what the first 9969 samples give on their own.
    setRecord(std::vector<double>(values.begin(), values.begin() + 9969));
    runFilter();
    for (int k = 0; k < 9969; ++k) {
        ASSERT_EQ(result(k), full[static_cast<std::size_t>(k)]) << k;
    }
    expectRecordRestored();
}

TEST(BaselineFilterMath, IntPowerBySquaring) {
    EXPECT_EQ(BaselineFilter::intPower(2.0, 10), 1024.0);
    EXPECT_EQ(BaselineFilter::intPower(-2.0, 3), -8.0);
    EXPECT_EQ(BaselineFilter::intPower(1.5, 5), 7.59375);
    EXPECT_EQ(BaselineFilter::intPower(2.0, -2), 0.25);
    EXPECT_EQ(BaselineFilter::intPower(0.5, -3), 8.0);
    EXPECT_EQ(BaselineFilter::intPower(10.0, 22), 1e22);
    for (const double x : {0.0, 5.0, -3.0, 1e300}) {
        EXPECT_EQ(BaselineFilter::intPower(x, 0), 1.0) << x;
    }
    EXPECT_EQ(BaselineFilter::intPower(0.0, 3), 0.0);
    for (int k = -20; k <= 20; ++k) {
        EXPECT_NEAR(BaselineFilter::intPower(1.1, k), std::pow(1.1, k), 1e-14 * std::pow(1.1, k))
            << k;
    }
}

TEST(BaselineFilterMath, NormalEquationsGiveTheLeastSquaresCubic) {
    auto record = std::make_unique<RecordBuffer>();
    auto filter = std::make_unique<BaselineFilter>(*record);
    EXPECT_EQ(record->order, 3);

    // Points on a cubic are fitted exactly.
    auto curve = [](double t) { return 1.0 + 2.0 * t - 0.5 * t * t + 0.25 * t * t * t; };
    record->normalMatrix[2][1] = 99.0;  // stale values from an earlier segment
    record->coefficients[3] = 99.0;
    filter->clearNormalEquations();
    for (int i = 0; i < 10; ++i) {
        filter->accumulatePoint(curve(i + 1), i + 1);
    }
    EXPECT_EQ(record->normalMatrix[0][0], 10.0);
    EXPECT_EQ(record->normalMatrix[1][2], 3025.0);  // sum of t^3 for t = 1..10
    EXPECT_EQ(record->coefficients[1], [&] {
        double sum = 0.0;
        for (int t = 1; t <= 10; ++t) {
            sum += t * curve(t);
        }
        return sum;
    }());
    filter->solveNormalEquations();
    EXPECT_NEAR(record->coefficients[0], 1.0, 1e-8);
    EXPECT_NEAR(record->coefficients[1], 2.0, 1e-8);
    EXPECT_NEAR(record->coefficients[2], -0.5, 1e-8);
    EXPECT_NEAR(record->coefficients[3], 0.25, 1e-8);
}

}  // namespace
}  // namespace records
