#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace records {

// A record file's modification time is the time its last value was stored:
// every copy keeps it, FILTER keeps it, and a stretch kept by SAVE takes the
// time of its own last value. The recording's start follows from it and the
// number of values.

// The file's modification time, nothing when it cannot be read.
std::optional<std::timespec> modificationTime(const std::string& path);

// `time` in seconds since the epoch.
double secondsOf(const std::timespec& time);

// `time` moved by `seconds` (negative: earlier).
std::timespec shiftedTime(const std::timespec& time, double seconds);

// When the first of `count` values was taken, at `valuesPerSecond`, given the
// time the last one was stored; in seconds since the epoch.
double recordingStart(const std::timespec& lastStored, long long count, double valuesPerSecond);

// The start of the recording in the record file at `path` holding `count`
// values; nothing when its time cannot be read.
std::optional<double> recordingStart(const std::string& path, long long count,
                                     double valuesPerSecond);

// "2026-12-09T08:15:02+01:00": a start in local time, ISO 8601.
std::string localIsoTime(double secondsSinceEpoch);

// When an audio file says it was recorded, from one of its tags: an MP4
// creation time ("2026-12-09T08:15:02.000000Z"), a broadcast WAV's
// origination date and time ("2026-12-09 08:15:02", local time, also with
// ':' or '-' between the parts), a Vorbis comment DATE (ISO 8601, local time
// without an offset). Nothing for a date without a time of day, or one that
// is not plausible: before 1990, or later than `now` (since the epoch).
std::optional<double> recordedAtFromTag(const std::string& text, double now);

}  // namespace records
