#pragma once

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "WholeRecord.h"

namespace records {

// A recording as the medical centre's tools read it: EDF+C with one signal
// "ECG" in millivolts, written with EDFlib. Both encodings of stored values
// are taken off as the record display takes them off, and the front end's
// calibration turns values into millivolts. A record whose companion belongs
// to it is written at the companion's ten times higher rate instead.
class EdfExport {
public:
    // 16-bit samples at 1 microvolt each: +-32.767 mV, clipped beyond.
    static constexpr double physicalLimit = 32.767;
    static constexpr int digitalLimit = 32767;
    // A record file longer than this is not read (no recording comes near).
    static constexpr std::size_t maxValues = WholeRecord::maxValues;

    // The acquisition settings of the recording: one value per buffer.
    EdfExport(int sampleRate, int samplesPerBuffer);

    // Writes the record file at `recordPath` as EDF+ to `outPath` (through a
    // temporary file renamed over it when complete). Empty on success,
    // otherwise the reason, and then nothing is written.
    std::string write(const std::string& recordPath, const std::string& outPath) const;

    // Values per second, and the data record that holds a whole number of
    // them: its length in seconds and its sample count.
    double samplesPerSecond() const;
    int recordSeconds() const { return recordSeconds_; }
    int samplesPerRecord() const { return samplesPerRecord_; }
    // The same for a record's companion.
    double companionSamplesPerSecond() const;
    int companionRecordSeconds() const { return companionRecordSeconds_; }
    int companionSamplesPerRecord() const { return companionSamplesPerRecord_; }
    // What a companion went through, for the signal's prefilter field: the
    // mean over a tenth of a buffer, a low-pass, and FILTER's high-pass when
    // the record was filtered.
    std::string companionPrefilter(bool filtered) const;

    // A value in microvolts as stored, clipped to the 16-bit range.
    static int digitalValue(double value);

private:
    // The samples written as the signal, in data records of `recordSeconds`
    // holding `samplesPerRecord` of them.
    struct Signal {
        std::span<const double> samples;
        int recordSeconds = 1;
        int samplesPerRecord = 1;
        std::string prefilter;
    };

    std::string writeFile(const Signal& signal, double seconds, std::time_t start,
                          const std::string& path) const;

    int sampleRate_;
    int samplesPerBuffer_;
    int recordSeconds_ = 1;
    int samplesPerRecord_ = 1;
    int companionRecordSeconds_ = 1;
    int companionSamplesPerRecord_ = 1;
};

}  // namespace records
