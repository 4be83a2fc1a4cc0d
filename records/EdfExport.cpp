#include "EdfExport.h"

#include <edflib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "Companion.h"
#include "FrontEndCalibration.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

constexpr int maxRecordSeconds = 60;
constexpr long long annotationUnitsPerSecond = 10000;  // EDFlib's 100 microseconds
constexpr int durationUnitsPerSecond = 100000;         // EDFlib's 10 microseconds
constexpr std::size_t prefilterFieldSize = 80;
constexpr std::size_t transducerFieldSize = 80;

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

// "2.05": a number with `decimals` decimals, whatever the locale says.
std::string fixed(double value, int decimals) {
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc{} ? std::string(text, result.ptr) : std::string("?");
}

// "5.48", "28.6": as short as the number allows.
std::string shortest(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return result.ec == std::errc{} ? std::string(text, result.ptr) : std::string("?");
}

// The signal as it is sent: the points in millivolts at their times, the
// buffers not stored bridged, and where the bridges lie.
struct Bridge {
    double at = 0.0;  // seconds from the start
    double seconds = 0.0;
};

struct Signal {
    std::vector<double> millivolts;
    std::vector<Bridge> bridges;
    EdfExport::DataRecord dataRecord;
    std::string prefilter;
    double seconds = 0.0;
};

Signal makeSignal(const StoredRecording& r, std::span<const double> points, int perLine) {
    const RecordingFacts& f = r.facts;
    Signal s;
    const auto toMillivolts = [&](double v) { return (v - f.zeroValue) / f.valuesPerMillivolt; };
    const std::size_t lines = r.values.size();
    const long long skippedAtStart = f.skippedBefore(0);
    std::size_t skip = static_cast<std::size_t>(skippedAtStart);
    for (std::size_t k = 0; k < lines; ++k) {
        // The buffers skipped between line k - 1 and line k, bridged by a
        // straight line from the one to the other.
        std::size_t buffers = 0;
        while (k > 0 && skip < f.skippedAfterLines.size() &&
               f.skippedAfterLines[skip] == static_cast<long long>(k)) {
            ++buffers;
            ++skip;
        }
        if (buffers > 0) {
            const double from = s.millivolts.back();
            const double to = toMillivolts(points[k * static_cast<std::size_t>(perLine)]);
            const std::size_t bridged = buffers * static_cast<std::size_t>(perLine);
            const double at = static_cast<double>(s.millivolts.size()) / perLine;
            s.bridges.push_back(
                {at / f.valuesPerSecond, static_cast<double>(buffers) / f.valuesPerSecond});
            for (std::size_t i = 1; i <= bridged; ++i) {
                s.millivolts.push_back(from + (to - from) * static_cast<double>(i) /
                                                  static_cast<double>(bridged + 1));
            }
        }
        for (int i = 0; i < perLine; ++i) {
            s.millivolts.push_back(toMillivolts(points[k * static_cast<std::size_t>(perLine) + i]));
        }
    }
    s.seconds = static_cast<double>(s.millivolts.size()) / perLine / f.valuesPerSecond;
    return s;
}

std::string transducer(const RecordingFacts& f) {
    std::string text = "FM front end: 0 mV = " + shortest(f.zeroValue) + " (" +
                       shortest(calibration::carrierHertz) + " Hz), " +
                       shortest(f.valuesPerMillivolt) + " per mV (" +
                       shortest(calibration::hertzPerMillivolt) + " Hz/mV)";
    return text.substr(0, transducerFieldSize);
}

std::string writeFile(const Signal& signal, const RecordingFacts& facts, const std::string& path) {
    EdfHandle edf(path);
    const int h = edf.get();
    if (h < 0) {
        return path + " cannot be created";
    }
    const double startSeconds = facts.startSeconds + facts.secondsAt(0);
    // Whole seconds, as every reader takes the start: a fraction would move
    // the annotations against the samples in some of them.
    const auto start = static_cast<std::time_t>(std::floor(startSeconds));
    std::tm local{};
    localtime_r(&start, &local);
    const std::string transducerText = transducer(facts);
    const bool headerSet =
        edf_set_samplefrequency(h, 0, signal.dataRecord.samples) == 0 &&
        edf_set_datarecord_duration(h, signal.dataRecord.seconds * durationUnitsPerSecond) == 0 &&
        edf_set_physical_maximum(h, 0, EdfExport::physicalLimit) == 0 &&
        edf_set_physical_minimum(h, 0, -EdfExport::physicalLimit) == 0 &&
        edf_set_digital_maximum(h, 0, EdfExport::digitalLimit) == 0 &&
        edf_set_digital_minimum(h, 0, -EdfExport::digitalLimit) == 0 &&
        edf_set_label(h, 0, "ECG") == 0 && edf_set_physical_dimension(h, 0, "mV") == 0 &&
        edf_set_transducer(h, 0, transducerText.c_str()) == 0 &&
        edf_set_prefilter(h, 0, signal.prefilter.c_str()) == 0 &&
        edf_set_equipment(h, "trelmont-ecg") == 0 &&
        (facts.startMeasured || edf_set_recording_additional(h, "start estimated") == 0) &&
        edf_set_startdatetime(h, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                              local.tm_hour, local.tm_min, local.tm_sec) == 0;
    if (!headerSet) {
        return "the EDF+ header cannot be set";
    }
    std::vector<int> block(static_cast<std::size_t>(signal.dataRecord.samples));
    const std::size_t n = signal.millivolts.size();
    for (std::size_t first = 0; first < n; first += block.size()) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            // The last record is padded with the last value.
            block[i] = EdfExport::digitalValue(signal.millivolts[std::min(first + i, n - 1)]);
        }
        if (edfwrite_digital_samples(h, block.data()) != 0) {
            return path + " cannot be written";
        }
    }
    for (const Bridge& bridge : signal.bridges) {
        if (edfwrite_annotation_utf8(
                h, std::llround(bridge.at * annotationUnitsPerSecond),
                // Up to the next unit: it covers the last sample.
                static_cast<long long>(std::ceil(bridge.seconds * annotationUnitsPerSecond - 1e-6)),
                EdfExport::bridgeAnnotation) != 0) {
            return "a bridged buffer cannot be marked";
        }
    }
    const long long end = std::llround(signal.seconds * annotationUnitsPerSecond);
    if (edfwrite_annotation_utf8(h, end, -1, "end of recording") != 0) {
        return "the end of the recording cannot be marked";
    }
    if (!edf.close()) {
        return path + " cannot be completed";
    }
    return {};
}

}  // namespace

EdfExport::EdfExport(int sampleRate, int samplesPerBuffer)
    : inference_{sampleRate, std::max(samplesPerBuffer, 1), samplesPerBuffer} {}

EdfExport::DataRecord EdfExport::dataRecordFor(long long perSecondTimesBuffer,
                                               int samplesPerBuffer) {
    samplesPerBuffer = std::max(samplesPerBuffer, 1);
    for (int seconds = 1; seconds <= maxRecordSeconds; ++seconds) {
        const long long perRecord = perSecondTimesBuffer * seconds;
        if (perRecord % samplesPerBuffer == 0) {
            return {seconds, static_cast<int>(perRecord / samplesPerBuffer)};
        }
    }
    const double perSecond = static_cast<double>(perSecondTimesBuffer) / samplesPerBuffer;
    return {1, std::max(1, static_cast<int>(std::lround(perSecond)))};
}

std::string EdfExport::companionPrefilter(double companionValuesPerSecond, bool filtered) {
    // The demodulator's low-pass on the tone's frequency, then each value the
    // mean over a tenth of a buffer.
    const double window = companionValuesPerSecond > 0.0 ? 1.0 / companionValuesPerSecond : 0.0;
    std::string text = "LP:" + std::to_string(std::lround(companionLowPassHertz)) +
                       "Hz, mean over " + fixed(window * 1000.0, 2) + " ms";
    if (filtered) {
        text += " HP: baseline wander removed (FILTER)";
    }
    return text.substr(0, prefilterFieldSize);
}

int EdfExport::digitalValue(double millivolts) {
    if (std::isnan(millivolts)) {
        return 0;
    }
    const double microvolts = std::round(millivolts * 1000.0);
    return static_cast<int>(std::clamp(microvolts, static_cast<double>(-digitalLimit),
                                       static_cast<double>(digitalLimit)));
}

std::string EdfExport::write(const std::string& recordPath, const std::string& outPath) const {
    StoredRecording recording;
    std::string reason = readRecording(recordPath, inference_, recording);
    if (!reason.empty()) {
        return reason;
    }
    if (recording.values.empty()) {
        return recordPath + " holds no values";
    }
    const RecordingFacts& facts = recording.facts;
    const bool high = !recording.companion.empty();
    const long long rateTimesBuffer =
        static_cast<long long>(facts.sampleRate) * (high ? companionValuesPerLine : 1);
    Signal signal = high ? makeSignal(recording, recording.companion, companionValuesPerLine)
                         : makeSignal(recording, recording.values, 1);
    signal.dataRecord = dataRecordFor(rateTimesBuffer, facts.samplesPerBuffer);
    signal.prefilter =
        high ? companionPrefilter(facts.valuesPerSecond * companionValuesPerLine, facts.filtered())
             : (facts.filtered() ? "baseline wander removed (FILTER)" : "none");
    platform::ReplacementFile replacement(outPath);
    if (!replacement.isOpen()) {
        return replacement.failure();
    }
    // A copy of the recording in another form: no wider than its record.
    replacement.limitModeTo(recordPath);
    reason = writeFile(signal, facts, replacement.temporaryPath());
    return reason.empty() ? replacement.commit() : reason;
}

}  // namespace records
