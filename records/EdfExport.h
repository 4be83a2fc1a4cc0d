#pragma once

#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "EdfStream.h"
#include "StoredRecording.h"

namespace records {

// A recording as the medical centre's tools read it: EDF+C with one signal
// "ECG" in millivolts, written with EDFlib. The recording's facts give its
// start, its rate, its scale (the value of 0 mV and the values per
// millivolt) and its filter state; a record without facts is read with the
// settings given here and the front end's default scale. Both encodings of
// stored values are taken off. A record whose companion belongs to it is
// written at the companion's ten times higher rate instead. A buffer the
// capture did not store (at a change of pane, or lost by the sound input) is
// bridged by a straight line over its duration, marked by an annotation
// that says why, so that every sample lies at its own time. A stretch
// without the front end's tone is marked too; where the record's own values
// are sent, it is bridged like them (its values are the strongest frequency
// of noise or silence, no heart's).
class EdfExport {
public:
    // Marks a stretch of buffers the capture did not store, for its duration.
    static constexpr const char* bridgeAnnotation = "not recorded (change of strip), bridged";
    // Marks buffers the sound input lost, bridged likewise.
    static constexpr const char* droppedAnnotation = "not recorded (the computer fell behind)";
    // Marks a stretch of a tone file that held no tone of the front end
    // (speech, silence), kept in its place, for its duration.
    static constexpr const char* withoutToneAnnotation = "no ECG tone";
    static constexpr const char* doubtfulToneAnnotation = "doubtful ECG tone";

    // The settings a record without facts was recorded at.
    EdfExport(int sampleRate, int samplesPerBuffer);

    // Writes the record file at `recordPath` as EDF+ to `outPath` (through a
    // temporary file renamed over it when complete). Empty on success,
    // otherwise the reason, and then nothing is written.
    std::string write(const std::string& recordPath, const std::string& outPath) const;

    // The data record that holds a whole number of samples at
    // `perSecondTimesBuffer / samplesPerBuffer` a second: its length in
    // seconds and its sample count (48.75 a second: 195 in 4 s).
    struct DataRecord {
        int seconds = 1;
        int samples = 1;
    };
    static DataRecord dataRecordFor(long long perSecondTimesBuffer, int samplesPerBuffer);
    // What a companion went through, for the signal's prefilter field: the
    // demodulator's low-pass, the mean over a tenth of a buffer, and FILTER's
    // high-pass when the record was filtered.
    static std::string companionPrefilter(double companionValuesPerSecond, bool filtered);
    // The front end's calibration at a recording's settings, for the
    // signal's transducer field.
    static std::string transducer(const RecordingFacts& facts);

private:
    Inference inference_;
};

}  // namespace records
