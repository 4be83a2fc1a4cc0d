#pragma once

#include <cstddef>
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
// A companion is only ever used together with its record: when it has as
// many lines as the record and every line's mean agrees with the record's
// value (see companionAgreement). A companion that does not (older records have none, a file from
// elsewhere may lie beside a stranger's) is ignored, never shown, exported or
// printed for another recording.
inline constexpr int companionValuesPerLine = 10;
// How far a line's mean may lie from its record's value, in record units
// (0.09 mV), where the tone holds its frequency through the buffer. Where it
// sweeps (the steep flanks of a QRS) the buffer's strongest frequency is not
// its mean frequency: there a quarter of the line's own range is allowed on
// top (a simulated QRS parts them by up to 0.55 at a range of 5.3). A line of
// another recording, or one line off, still lies units away on the flat
// lines and at every QRS.
inline constexpr double companionAgreement = 0.5;
inline constexpr double companionSweepShare = 0.25;
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
// lines. Empty when there is no companion or a line does not hold ten
// numbers.
std::vector<double> readCompanion(const std::string& path, std::size_t maxLines);

// Whether `companion` (ten values to a line) belongs to the record values
// `decoded` (their encoding taken off): as many lines, every line's mean
// within companionAgreement of its value.
bool companionBelongs(std::span<const double> companion, std::span<const double> decoded);

// The companion of the record file at `recordPath` when it belongs to the
// record's values `decoded`; empty otherwise.
std::vector<double> loadCompanion(const std::string& recordPath, std::span<const double> decoded);

// Writes `values` (ten to a line) as the companion of `recordPath`, through a
// temporary file renamed over it when complete. Empty on success, otherwise
// why not; a failed write leaves no companion of another version behind.
std::string writeCompanion(const std::string& recordPath, std::span<const double> values);

// Removes the companion of `recordPath`, if there is one.
void removeCompanion(const std::string& recordPath);

// Gives `destinationRecord` the companion of `sourceRecord`, cut to its first
// `lines` lines (the lines its record copy holds); a source without one, or
// with fewer lines, leaves the destination without a companion. Empty on
// success, otherwise why the companion could not be copied (then the
// destination has none).
std::string copyCompanion(const std::string& destinationRecord, const std::string& sourceRecord,
                          std::size_t lines);

// Cuts the companion of `recordPath` back to its first `lines` complete
// lines: a recording killed between a companion line and its value leaves
// the companion one line ahead. A shorter companion is left as it is (it no
// longer belongs, and a record is never cut to fit its companion).
void trimCompanion(const std::string& recordPath, std::size_t lines);

// The number of complete lines of a record or companion file (0 when absent).
std::size_t countLines(const std::string& path);

}  // namespace records
