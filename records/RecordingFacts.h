#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "FileIdentity.h"

namespace records {

// The facts of a recording, kept beside its record so that every reader
// takes them as they were when it was recorded instead of inferring them:
// "REC.txt" has "REC.info.txt", "REC3.txt" "REC3.info.txt". UTF-8 text, a
// first line naming the format and its version, then one "key: value" a
// line; keys a reader does not know are ignored.
//
// The capture worker writes them as a recording starts; the stop completes
// them with the line counts and SHA-256 of the record and its companion,
// which every later change (FILTER, SAVE, a copy) writes anew for what it
// leaves. A record whose facts hold identities it no longer matches (changed
// by hand, by another program, restored from a backup beside another
// recording's facts) keeps its rates and scale from them, but neither its
// start (it is estimated from the record's time, as without facts), its
// companion nor its filter state.
struct RecordingFacts {
    static constexpr const char* header = "trelmont-ecg recording facts, version 1";

    // When the first buffer's first sample was taken, in seconds since the
    // epoch, and whether a clock measured it (or it was estimated).
    double startSeconds = 0.0;
    bool startMeasured = true;
    // The acquisition: one value a buffer.
    double valuesPerSecond = 0.0;
    int sampleRate = 0;
    int samplesPerBuffer = 0;
    int fftPoints = 0;
    int bits = 0;
    // The scale of the stored values at those settings: the value of 0 mV
    // and the values per millivolt, from the front end's calibration.
    double zeroValue = 0.0;
    double valuesPerMillivolt = 0.0;
    // What the values came from: "sound input ..." or "simulator ...".
    std::string source;
    // "none", or how the baseline wander was removed.
    std::string filter = noFilter;
    // A buffer the capture did not store (one at each change of pane, and
    // each one the sound input lost): the number of lines stored before it,
    // in the order they happened.
    std::vector<long long> skippedAfterLines;
    // Those of them the sound input lost because the computer fell behind
    // (the capture worker had no buffer queued with it), listed the same
    // way: each is in skippedAfterLines too, which alone places the lines.
    std::vector<long long> droppedAfterLines;
    // Stretches of a recording decoded from a file that held no tone of the
    // front end (speech, silence), kept in their place: first line and
    // number of lines, in order, none past the record's end.
    std::vector<std::pair<long long, long long>> linesWithoutTone;
    // Stretches whose tone was there but disturbed (echoes, noise, a
    // fading signal): their values may not be the heart's. Listed the same
    // way, from half a second; a run without tone too short to be listed
    // above counts as doubtful.
    std::vector<std::pair<long long, long long>> linesWithDoubtfulTone;
    static constexpr double shortestDoubtfulSeconds = 0.5;
    // Such a stretch without tone is listed when it lasts this long, and the tone must
    // be back as long to end it: at most one begins in twice this time.
    static constexpr double shortestWithoutToneSeconds = 1.0;
    // Once the recording is complete: its record and companion (none when
    // it has none).
    std::optional<FileIdentity> record;
    std::optional<FileIdentity> companion;

    static constexpr const char* noFilter = "none";

    bool filtered() const { return filter != noFilter; }
    bool complete() const { return record.has_value(); }
    // The buffers skipped before line `line` (counted from 0).
    long long skippedBefore(long long line) const;
    // The buffers lost between line `lines` - 1 and line `lines`.
    long long droppedAfter(long long lines) const;
    // The time of line `line` from the start, in seconds.
    double secondsAt(long long line) const;
    // The time `lines` lines span, skipped buffers between them included.
    double secondsSpanned(long long lines) const;
    // Lines first ... last (from 0) kept alone: the start moves to line
    // `first`'s time, and the skipped buffers and the stretches without tone
    // or with doubtful tone within them keep their place among the kept
    // lines.
    RecordingFacts stretch(long long first, long long last) const;
    // The lists cut to a record of `lines` lines.
    void limitTo(long long lines);
};

// Facts are a few hundred bytes, the list of stretches without tone of a
// day's recording a few hundred thousand: a file longer than this is not
// facts, no reader takes more of it, and none is written.
constexpr std::size_t maxFactsLength = 1024 * 1024;

// "REC.txt" -> "REC.info.txt"; a name that does not end in ".txt" gets
// ".info.txt" added.
std::string factsPath(const std::string& recordPath);

// The value of 0 mV and the values per millivolt for a recording made at
// `sampleRate` with `fftPoints`: the spectrum's values are on the scale of
// the default settings whatever the settings (one bin is always 1.625), so
// the front end's 57.2 and 5.48 scale with the bin's width.
double zeroValueAt(int sampleRate, int fftPoints);
// The factor between the two: 1 at the default settings, 0.5 at 399360
// samples a second with 4096 points.
double valueScaleAt(int sampleRate, int fftPoints);
double valuesPerMillivoltAt(int sampleRate, int fftPoints);

// The facts as the file holds them.
std::string formatFacts(const RecordingFacts& facts);

struct FactsReading {
    enum class Status { Absent, Read, Unusable };
    Status status = Status::Absent;
    RecordingFacts facts;
    // Why the facts cannot be used (naming the file), for Unusable.
    std::string reason;
};

// Reads the facts from text (the whole file).
FactsReading parseFacts(const std::string& text);
// Reads the facts of the record at `recordPath`. A file that is not a
// regular file, longer than facts can be, or with a line longer than a
// line of facts can be is Unusable.
FactsReading readFacts(const std::string& recordPath);

// "2026-12-09T08:15:02.125+01:00": local time, ISO 8601, milliseconds.
std::string isoTimeWithMilliseconds(double secondsSinceEpoch);
// The seconds since the epoch of an ISO 8601 time with an offset (or Z),
// with or without fractions of a second; nothing for anything else.
std::optional<double> parseIsoTime(const std::string& text);

}  // namespace records
