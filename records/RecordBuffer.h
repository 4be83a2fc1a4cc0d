#pragma once

#include <array>

#include "FrontEndCalibration.h"
#include "SampleFile.h"

namespace records {

// The in-memory form of one record: at most 10000 values, the rest filled with
// the record's fill level, and the baseline filter's result.
class RecordBuffer {
public:
    static constexpr int capacity = 10000;
    // 0 mV: what a record holds where nothing was stored.
    static constexpr double fillLevel = calibration::zeroLevel;

    RecordBuffer();

    // Loads the working file (opening it when nothing is open) from its start.
    // Takes the SampleFile by value: the copy closes the file on return.
    void load(SampleFile file);

    int count = 0;
    std::array<double, capacity> samples{};
    std::array<double, capacity> filtered{};
};

}  // namespace records
