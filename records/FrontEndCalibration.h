#pragma once

namespace records {

// The ECG front end's calibration, as the program reads it: the tone is
// 1716 Hz at 0 mV and rises 164.4 Hz per millivolt; at the program's scale
// of one value per 30 Hz that is a value of 57.2 at 0 mV and 5.48 more per
// millivolt. The simulator makes its tone from these, and the exports turn
// values into millivolts with them.
namespace calibration {

inline constexpr double carrierHertz = 1716.0;
inline constexpr double hertzPerMillivolt = 164.4;
inline constexpr double hertzPerValue = 30.0;
inline constexpr double zeroLevel = carrierHertz / hertzPerValue;          // 57.2
inline constexpr double perMillivolt = hertzPerMillivolt / hertzPerValue;  // 5.48

inline constexpr double toMillivolts(double value) {
    return (value - zeroLevel) / perMillivolt;
}

// The demodulator passes the tone this far either side of the carrier (3.6
// mV): a stored value beyond is no tone of the front end (noise, speech).
inline constexpr double bandHertz = 600.0;

// Whether a value on a recording's scale (its 0 mV and values per mV) lies
// within that band.
inline constexpr bool withinBand(double value, double zeroValue, double valuesPerMillivolt) {
    const double reach = bandHertz / hertzPerMillivolt * valuesPerMillivolt;
    return value >= zeroValue - reach && value <= zeroValue + reach;
}

// As a recording's facts name the front end.
inline constexpr const char* frontEnd = "1716 Hz at 0 mV, 164.4 Hz per mV";

// As the exported file states it.
inline constexpr const char* description =
    "FM front end: 0 mV = 57.2 (1716 Hz), 5.48 per mV (164.4 Hz/mV)";

}  // namespace calibration
}  // namespace records
