#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace records {

// The high-rate companion of a record file: for every stored value, one line
// of the ten values the capture worker demodulated from the same buffer
// (the tone's mean frequency over each tenth of it, in the record's units,
// without the +-744 and +-1000 markers), "%f" with one blank between them.
// "REC.txt" has "REC.hr.txt", "REC3.txt" "REC3.hr.txt". Line k of the two
// belongs to the same buffer.
//
// A companion is only ever used together with its record: when the
// record's facts name its identity, or, where they hold none (a killed
// recording, an older one), when it agrees with the record's values line by
// line (companionAgrees). A companion that does not (a file from elsewhere
// may lie beside a stranger's) is ignored, never shown, exported or printed
// for another recording.
inline constexpr int companionValuesPerLine = 10;
// How far the demodulator's filters reach either side of a moment: the
// lines that close a recording were completed by holding its last
// frequency over that much.
inline constexpr double companionReachSeconds = 0.02;
// The capture worker's low-pass on the tone's frequency before the tenths'
// means: flat to this, what the EDF+ export names as the signal's low-pass.
inline constexpr double companionLowPassHertz = 150.0;
// Room for one line as formatCompanionLine writes it.
inline constexpr std::size_t companionLineSize = 10 * 330;

// "REC.txt" -> "REC.hr.txt"; a name that does not end in ".txt" gets ".hr.txt"
// added.
std::string companionPath(const std::string& recordPath);

// Writes ten values as one companion line ("%f %f ... %f\n") into `out`
// (companionLineSize characters at least) and returns its length.
std::size_t formatCompanionLine(std::span<const double> tenValues, char* out);

// The companion's values, ten to a line, of its complete lines only (a last
// line cut short by a killed program is left out), at most `maxLines`
// lines. Empty when there is no companion, it is not a regular file, or a
// line does not hold ten numbers or is longer than a line of ten can be.
std::vector<double> readCompanion(const std::string& path, std::size_t maxLines);

// Reads the companion at `path` as readCompanion does, one complete line at
// a time: `line` gets each line's number (from 0) and ten values, and stops
// the reading by returning false. At most `maxLines` lines. False when the
// file is absent or not a companion as readCompanion takes one; `lines`, when
// given, gets the number of complete lines read.
bool forEachCompanionLine(const std::string& path, std::size_t maxLines,
                          const std::function<bool(std::size_t, std::span<const double>)>& line,
                          std::size_t* lines = nullptr);

// Lines `first` to `first + count - 1` of the companion at `path`, ten values
// to a line, without holding the lines before them: empty when it holds
// fewer or is no companion.
std::vector<double> readCompanionLines(const std::string& path, std::size_t first,
                                       std::size_t count);

// Removes the companion of `recordPath`, if there is one.
void removeCompanion(const std::string& recordPath);

// Cuts the companion of `recordPath` back to its first `lines` complete
// lines: a recording killed between a companion line and its value leaves
// the companion one line ahead. A shorter companion is left as it is (it no
// longer belongs, and a record is never cut to fit its companion).
void trimCompanion(const std::string& recordPath, std::size_t lines);

// The number of complete lines of a record or companion file (0 when absent).
std::size_t countLines(const std::string& path);

}  // namespace records
