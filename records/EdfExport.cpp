#include "EdfExport.h"

#include <edflib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>
#include <vector>

#include "Companion.h"
#include "FrontEndCalibration.h"
#include "RecordEncoding.h"
#include "RecordTime.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

constexpr int maxRecordSeconds = 60;
constexpr long long annotationUnitsPerSecond = 10000;  // EDFlib's 100 microseconds
constexpr int durationUnitsPerSecond = 100000;         // EDFlib's 10 microseconds
constexpr std::size_t prefilterFieldSize = 80;

// An open EDFlib handle, closed on every path.
class EdfHandle {
public:
    explicit EdfHandle(const std::string& path)
        : handle_(edfopen_file_writeonly(path.c_str(), EDFLIB_FILETYPE_EDFPLUS, 1)) {}
    ~EdfHandle() {
        if (handle_ >= 0) {
            edfclose_file(handle_);
        }
    }
    EdfHandle(const EdfHandle&) = delete;
    EdfHandle& operator=(const EdfHandle&) = delete;
    int get() const { return handle_; }
    // Closes now; whether the file was completed.
    bool close() {
        const int h = handle_;
        handle_ = -1;
        return h >= 0 && edfclose_file(h) == 0;
    }

private:
    int handle_;
};

struct DataRecord {
    int seconds = 1;
    int samples = 1;
};

// The shortest data record that holds a whole number of samples at
// `perSecondTimesBuffer / samplesPerBuffer` samples a second, so that the
// rate is written exactly (48.75 per second: 195 in 4 s).
DataRecord dataRecordFor(long long perSecondTimesBuffer, int samplesPerBuffer) {
    for (int seconds = 1; seconds <= maxRecordSeconds; ++seconds) {
        const long long perRecord = perSecondTimesBuffer * seconds;
        if (perRecord % samplesPerBuffer == 0) {
            return {seconds, static_cast<int>(perRecord / samplesPerBuffer)};
        }
    }
    const double perSecond = static_cast<double>(perSecondTimesBuffer) / samplesPerBuffer;
    return {1, std::max(1, static_cast<int>(std::lround(perSecond)))};
}

// "2.05": a number with two decimals, whatever the locale says.
std::string twoDecimals(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    return result.ec == std::errc{} ? std::string(text, result.ptr) : std::string("?");
}

}  // namespace

EdfExport::EdfExport(int sampleRate, int samplesPerBuffer)
    : sampleRate_(sampleRate), samplesPerBuffer_(std::max(samplesPerBuffer, 1)) {
    const DataRecord values = dataRecordFor(sampleRate_, samplesPerBuffer_);
    recordSeconds_ = values.seconds;
    samplesPerRecord_ = values.samples;
    const DataRecord companion = dataRecordFor(
        static_cast<long long>(sampleRate_) * companionValuesPerLine, samplesPerBuffer_);
    companionRecordSeconds_ = companion.seconds;
    companionSamplesPerRecord_ = companion.samples;
}

double EdfExport::samplesPerSecond() const {
    return static_cast<double>(sampleRate_) / samplesPerBuffer_;
}

double EdfExport::companionSamplesPerSecond() const {
    return samplesPerSecond() * companionValuesPerLine;
}

std::string EdfExport::companionPrefilter(bool filtered) const {
    // The demodulator's low-pass on the tone's frequency, then each value the
    // mean over a tenth of a buffer.
    const double window = sampleRate_ > 0 ? 1.0 / companionSamplesPerSecond() : 0.0;
    std::string text = "LP:" + std::to_string(std::lround(companionLowPassHertz)) +
                       "Hz, mean over " + twoDecimals(window * 1000.0) + " ms";
    if (filtered) {
        text += " HP: baseline wander removed (FILTER)";
    }
    return text.substr(0, prefilterFieldSize);
}

int EdfExport::digitalValue(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double microvolts = std::round(calibration::toMillivolts(value) * 1000.0);
    return static_cast<int>(std::clamp(microvolts, static_cast<double>(-digitalLimit),
                                       static_cast<double>(digitalLimit)));
}

std::string EdfExport::write(const std::string& recordPath, const std::string& outPath) const {
    WholeRecord record;
    std::string reason = readWholeRecord(recordPath, record);
    if (!reason.empty()) {
        return reason;
    }
    std::vector<double>& values = record.values;
    // The file's time is when its last value was stored; the recording
    // started its duration earlier.
    const double seconds = static_cast<double>(values.size()) / samplesPerSecond();
    const auto start = static_cast<std::time_t>(std::floor(recordingStart(
        record.lastStored, static_cast<long long>(values.size()), samplesPerSecond())));
    const bool filtered = decodeRecord(values) == Encoding::Filter1000;
    const std::vector<double> companion = loadCompanion(recordPath, values);
    const Signal signal = companion.empty()
                              ? Signal{values, recordSeconds_, samplesPerRecord_,
                                       filtered ? "baseline wander removed (FILTER)" : "none"}
                              : Signal{companion, companionRecordSeconds_,
                                       companionSamplesPerRecord_, companionPrefilter(filtered)};
    platform::ReplacementFile replacement(outPath);
    if (!replacement.isOpen()) {
        return replacement.failure();
    }
    reason = writeFile(signal, seconds, start, replacement.temporaryPath());
    return reason.empty() ? replacement.commit() : reason;
}

std::string EdfExport::writeFile(const Signal& signal, double seconds, std::time_t start,
                                 const std::string& path) const {
    EdfHandle edf(path);
    const int h = edf.get();
    if (h < 0) {
        return path + " cannot be created";
    }
    std::tm local{};
    localtime_r(&start, &local);
    const bool headerSet =
        edf_set_samplefrequency(h, 0, signal.samplesPerRecord) == 0 &&
        edf_set_datarecord_duration(h, signal.recordSeconds * durationUnitsPerSecond) == 0 &&
        edf_set_physical_maximum(h, 0, physicalLimit) == 0 &&
        edf_set_physical_minimum(h, 0, -physicalLimit) == 0 &&
        edf_set_digital_maximum(h, 0, digitalLimit) == 0 &&
        edf_set_digital_minimum(h, 0, -digitalLimit) == 0 && edf_set_label(h, 0, "ECG") == 0 &&
        edf_set_physical_dimension(h, 0, "mV") == 0 &&
        edf_set_transducer(h, 0, calibration::description) == 0 &&
        edf_set_prefilter(h, 0, signal.prefilter.c_str()) == 0 &&
        edf_set_equipment(h, "trelmont-ecg") == 0 &&
        edf_set_startdatetime(h, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                              local.tm_hour, local.tm_min, local.tm_sec) == 0;
    if (!headerSet) {
        return "the EDF+ header cannot be set";
    }
    std::vector<int> block(static_cast<std::size_t>(signal.samplesPerRecord));
    const std::span<const double> values = signal.samples;
    const std::size_t n = values.size();
    for (std::size_t first = 0; first < n; first += block.size()) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            // The last record is padded with the last value.
            const std::size_t k = std::min(first + i, n - 1);
            block[i] = digitalValue(values[k]);
        }
        if (edfwrite_digital_samples(h, block.data()) != 0) {
            return path + " cannot be written";
        }
    }
    const long long end = std::llround(seconds * annotationUnitsPerSecond);
    if (edfwrite_annotation_utf8(h, end, -1, "end of recording") != 0) {
        return "the end of the recording cannot be marked";
    }
    if (!edf.close()) {
        return path + " cannot be completed";
    }
    return {};
}

}  // namespace records
