#include "EdfExport.h"

#include <edflib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "FrontEndCalibration.h"
#include "RecordEncoding.h"
#include "RecordFormat.h"
#include "RecordTime.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

constexpr int maxRecordSeconds = 60;
constexpr long long annotationUnitsPerSecond = 10000;  // EDFlib's 100 microseconds
constexpr int durationUnitsPerSecond = 100000;         // EDFlib's 10 microseconds

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

std::string readValues(const std::string& path, std::vector<double>& values,
                       std::timespec& lastStored) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return path + " cannot be read: " + std::strerror(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return path + " is not a regular file";
    }
    lastStored = info.st_mtim;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return path + " cannot be read";
    }
    std::string line;
    while (std::getline(in, line)) {
        if (values.size() >= EdfExport::maxValues) {
            return path + " holds more values than any recording";
        }
        values.push_back(parseValue(line));
    }
    if (in.bad()) {
        return path + " cannot be read";
    }
    if (values.empty()) {
        return path + " holds no values";
    }
    return {};
}

}  // namespace

EdfExport::EdfExport(int sampleRate, int samplesPerBuffer)
    : sampleRate_(sampleRate), samplesPerBuffer_(std::max(samplesPerBuffer, 1)) {
    // The shortest data record that holds a whole number of values, so the
    // sample rate is written exactly (48.75 per second: 195 in 4 s).
    for (int seconds = 1; seconds <= maxRecordSeconds; ++seconds) {
        const long long perRecord = static_cast<long long>(sampleRate_) * seconds;
        if (perRecord % samplesPerBuffer_ == 0) {
            recordSeconds_ = seconds;
            samplesPerRecord_ = static_cast<int>(perRecord / samplesPerBuffer_);
            return;
        }
    }
    recordSeconds_ = 1;
    samplesPerRecord_ = std::max(1, static_cast<int>(std::lround(samplesPerSecond())));
}

double EdfExport::samplesPerSecond() const {
    return static_cast<double>(sampleRate_) / samplesPerBuffer_;
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
    std::vector<double> values;
    std::timespec lastStored{};
    std::string reason = readValues(recordPath, values, lastStored);
    if (!reason.empty()) {
        return reason;
    }
    // The file's time is when its last value was stored; the recording
    // started its duration earlier.
    const auto start = static_cast<std::time_t>(std::floor(
        recordingStart(lastStored, static_cast<long long>(values.size()), samplesPerSecond())));
    const bool filtered = decodeRecord(values) == Encoding::Filter1000;
    platform::ReplacementFile replacement(outPath);
    if (!replacement.isOpen()) {
        return replacement.failure();
    }
    reason = writeFile(values, start, filtered, replacement.temporaryPath());
    return reason.empty() ? replacement.commit() : reason;
}

std::string EdfExport::writeFile(const std::vector<double>& values, std::time_t start,
                                 bool filtered, const std::string& path) const {
    EdfHandle edf(path);
    const int h = edf.get();
    if (h < 0) {
        return path + " cannot be created";
    }
    std::tm local{};
    localtime_r(&start, &local);
    const bool headerSet =
        edf_set_samplefrequency(h, 0, samplesPerRecord_) == 0 &&
        edf_set_datarecord_duration(h, recordSeconds_ * durationUnitsPerSecond) == 0 &&
        edf_set_physical_maximum(h, 0, physicalLimit) == 0 &&
        edf_set_physical_minimum(h, 0, -physicalLimit) == 0 &&
        edf_set_digital_maximum(h, 0, digitalLimit) == 0 &&
        edf_set_digital_minimum(h, 0, -digitalLimit) == 0 && edf_set_label(h, 0, "ECG") == 0 &&
        edf_set_physical_dimension(h, 0, "mV") == 0 &&
        edf_set_transducer(h, 0, calibration::description) == 0 &&
        edf_set_prefilter(h, 0, filtered ? "baseline wander removed (FILTER)" : "none") == 0 &&
        edf_set_equipment(h, "trelmont-ecg") == 0 &&
        edf_set_startdatetime(h, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                              local.tm_hour, local.tm_min, local.tm_sec) == 0;
    if (!headerSet) {
        return "the EDF+ header cannot be set";
    }
    std::vector<int> block(static_cast<std::size_t>(samplesPerRecord_));
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
    const long long end = static_cast<long long>(
        std::llround(static_cast<double>(n) * annotationUnitsPerSecond / samplesPerSecond()));
    if (edfwrite_annotation_utf8(h, end, -1, "end of recording") != 0) {
        return "the end of the recording cannot be marked";
    }
    if (!edf.close()) {
        return path + " cannot be completed";
    }
    return {};
}

}  // namespace records
