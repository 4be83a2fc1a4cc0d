#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace records {

// A recording as the medical centre's tools read it: EDF+C with one signal
// "ECG" in millivolts, written with EDFlib. Both encodings of stored values
// are taken off as the record display takes them off, and the front end's
// calibration turns values into millivolts.
class EdfExport {
public:
    // 16-bit samples at 1 microvolt each: +-32.767 mV, clipped beyond.
    static constexpr double physicalLimit = 32.767;
    static constexpr int digitalLimit = 32767;
    // A record file longer than this is not read (no recording comes near).
    static constexpr std::size_t maxValues = 1'000'000;

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

    // A value in microvolts as stored, clipped to the 16-bit range.
    static int digitalValue(double value);

private:
    std::string writeFile(const std::vector<double>& values, std::time_t start, bool filtered,
                          const std::string& path) const;

    int sampleRate_;
    int samplesPerBuffer_;
    int recordSeconds_ = 1;
    int samplesPerRecord_ = 1;
};

}  // namespace records
