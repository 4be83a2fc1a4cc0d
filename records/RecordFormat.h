#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The record file format: one value per line, fixed notation with six decimals.
// Values are written and read as in the "C" locale whatever the process locale
// is, so a record written under a decimal-comma locale reads back unchanged.

namespace records {

// Room for one line as the readers take it: at most 99 characters a read.
inline constexpr std::size_t lineBufferSize = 100;
// Longest text formatValue writes ("%f" of any finite double, a blank, a newline).
inline constexpr std::size_t valueTextSize = 330;

enum class LineEnd { BlankNewline, Newline };

// The name of a file that belongs to the record at `recordPath`: its ".txt"
// replaced by `ending` ("REC.txt", ".hr.txt" -> "REC.hr.txt"), or `ending`
// added to a name that does not end in ".txt".
std::string besideRecord(const std::string& recordPath, std::string_view ending);

// Writes `value` as "%f \n" (BlankNewline) or "%f\n" (Newline) into `out`
// (at least valueTextSize characters) and returns the length. No terminator.
std::size_t formatValue(double value, LineEnd end, char* out);

// Reads the value of one line as atof would (leading white space skipped, the
// longest numeric prefix converted, the rest ignored), with one difference: a
// value that is not finite ("nan", "inf", an overflow such as "1e999") reads
// as 0.0, like a line without a number, so only finite values ever leave a
// record file.
double parseValue(std::string_view line);

}  // namespace records
