#pragma once

#include <array>

#include "RecordBuffer.h"

namespace records {

// Removes slow baseline wander from a loaded record: cuts it into segments at
// abrupt level steps, fits a cubic to each segment by least squares, moves
// every fitted segment to one base level and smooths small differences.
// Works only inside the record's own arrays and the filter's segment buffer.
class BaselineFilter {
public:
    static constexpr double frameLevel = 57.2;
    static constexpr double frameStep = 6.0;
    static constexpr int frameLength = 15;
    static constexpr double flatTolerance = 0.5;
    static constexpr double stepThreshold = 6.0;
    static constexpr int minimumFitLength = 6;
    static constexpr double smoothingThreshold = 1.0;
    static constexpr double startMark = 2.0;
    static constexpr double endMark = 1.0;
    // The framed record (two frames around it, one write after the last
    // segment) must fit the arrays; longer records are filtered up to here and
    // keep their remaining samples as loaded.
    static constexpr int maxFilteredSamples = RecordBuffer::capacity - 2 * frameLength - 1;

    explicit BaselineFilter(RecordBuffer& record) : record_(record) {}

    // The three steps, in order.
    void run();
    void markSegments();
    void clearNormalEquations();
    void detrend();

    void accumulatePoint(double y, double t);
    void solveNormalEquations();
    static double intPower(double x, int k);

private:
    int filteredCount() const;
    void writeFrame(int first);
    void fitSegment(int first, int length, double baseLevel);
    double cubic(double t) const;

    RecordBuffer& record_;
    // Samples beyond maxFilteredSamples, which the frames would overwrite.
    std::array<double, RecordBuffer::capacity - maxFilteredSamples> tail_{};
    std::array<double, RecordBuffer::capacity> segment_{};
};

}  // namespace records
