#pragma once

#include <span>

namespace records {

// The two ways a record carries its values. A live capture stores every other
// value with +744 or -744 added; FILTER stores its output with +1000 on even
// and -1000 on odd lines. Values between -372 and 372 are taken as plain in
// either form.
enum class Encoding { Plain, Capture744, Filter1000 };

inline constexpr double captureMarker = 744.0;
inline constexpr double filterMarker = 1000.0;

// The value a stored value stands for under one encoding.
double decodeValue(double stored, Encoding encoding);

// Which encoding a record uses: the one that brings its marked values
// nearest to the baseline (an ECG stays within a few millivolts of it, while
// the two markers lie 256 apart). Plain when no value is marked.
Encoding detectEncoding(std::span<const double> stored);

// Decodes a record in place and returns the encoding it used.
Encoding decodeRecord(std::span<double> values);

}  // namespace records
