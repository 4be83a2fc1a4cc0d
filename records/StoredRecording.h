#pragma once

#include <cstddef>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "RecordEncoding.h"
#include "RecordingFacts.h"

namespace records {

// The settings a record without facts is read with: those of the moment
// (the window's), or the defaults (--export-edf, --print-pdf).
struct Inference {
    int sampleRate = 199680;
    int samplesPerBuffer = 4096;
    int fftPoints = 4096;
};

// A recording as every reader takes it: its record read to the end, its
// facts, and its companion when that belongs to it. Readers use `facts`
// alone for the start, the rates, the scale and the filter state: for a
// record with usable facts they are those facts (where the facts' identities
// no longer match the record, the filter state from its own encoding and the
// start inferred as below, marked estimated); for one without, they are
// inferred as before: the start from the file's modification time less the
// duration (marked estimated), the rates from the Inference, the front end's
// default scale, the filter state from the encoding.
struct StoredRecording {
    // A record file longer than this is not read (no recording comes near).
    static constexpr std::size_t maxValues = 1'000'000;

    // The values as stored (their encoding on) and as they stand for.
    std::vector<double> stored;
    std::vector<double> values;
    Encoding encoding = Encoding::Plain;
    RecordingFacts facts;
    // Whether the record has a facts file that could be used.
    bool hasFacts = false;
    // Whether the facts hold identities and the record and companion are
    // the files they name.
    bool identified = false;
    // Ten values to each value, when a companion belongs to the record
    // (by the identities in its facts, or where they hold none, by
    // agreeing with the record's values); empty otherwise.
    std::vector<double> companion;
    // The record file's modification time: when its last value was stored.
    std::timespec lastStored{};
    // Why the facts were set aside, for a reader that says so.
    std::string factsProblem;

    bool filtered() const { return facts.filtered(); }
    double durationSeconds() const {
        return facts.secondsSpanned(static_cast<long long>(values.size()));
    }
};

// Reads the recording whose record is at `path`. Empty on success (an
// empty record too), otherwise why not, naming the file: a record, facts or
// companion that is not a regular file, a record that cannot be read or
// holds more than maxValues values.
std::string readRecording(const std::string& path, const Inference& inference, StoredRecording& out,
                          bool withCompanion = true);

// Whether `companion` (ten values a line) agrees with the record's values
// `decoded` line by line, for a companion whose identity no facts vouch for
// (a killed recording, an older one). Each stored value is the strongest
// frequency the spectrum saw over its last fftPoints samples: it lies within
// the lowest and highest companion value of that stretch (the tenths of the
// buffers it spans), widened by 0.5 (and a quarter of a bin more where the
// stretch joins buffers tapered apart), on at least 99 % of the lines that
// hold a tone (a value within the front end's band), leaving out the lines
// whose stretch reaches before the recording and those its end completed by
// holding the last frequency. A companion of another recording does not
// agree; one a line out of step does not where a line's stretch is its own
// buffer at up to 100 lines a second (elsewhere neighbouring lines see
// nearly the same tone).
// `facts` say how the values were taken: the rates, the scale and the
// buffers skipped between lines.
bool companionAgrees(std::span<const double> companion, std::span<const double> decoded,
                     const RecordingFacts& facts);

// Whether the companion beside the record at `path` belongs to `recording`
// (read from there, with or without its companion) as readRecording decides
// it, without holding more than a few of its lines: by the identity its
// facts name, or, where they hold none, by agreeing with its values.
bool companionBelongs(const std::string& path, const StoredRecording& recording);

}  // namespace records
