#include "EdfExport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

#include "Companion.h"
#include "FrontEndCalibration.h"

namespace records {

namespace {

constexpr int maxRecordSeconds = 60;
constexpr std::size_t prefilterFieldSize = 80;
constexpr std::size_t transducerFieldSize = 80;

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
    const char* annotation = EdfExport::bridgeAnnotation;
};

struct Signal {
    std::vector<double> millivolts;
    std::vector<Bridge> bridges;
    EdfExport::DataRecord dataRecord;
    std::string prefilter;
    double seconds = 0.0;
};

// Lines first ... first + count - 1 (as the facts list them, cut to the
// record when read), kept within the record: their begin and end.
std::pair<long long, long long> within(long long first, long long count, long long lines) {
    const long long begin = std::clamp(first, 0LL, lines);
    return {begin, begin + std::clamp(count, 0LL, lines - begin)};
}

// Lines begin ... end - 1 of `values` replaced by a straight line from the
// value before them to the value after (held at either end).
void bridge(std::vector<double>& values, long long begin, long long end, double otherwise) {
    if (begin == end) {
        return;
    }
    const bool before = begin > 0;
    const bool after = end < static_cast<long long>(values.size());
    const double from = before  ? values[static_cast<std::size_t>(begin - 1)]
                        : after ? values[static_cast<std::size_t>(end)]
                                : otherwise;
    const double to = after ? values[static_cast<std::size_t>(end)] : from;
    for (long long k = begin; k < end; ++k) {
        const double share =
            static_cast<double>(k - begin + 1) / static_cast<double>(end - begin + 1);
        values[static_cast<std::size_t>(k)] = from + (to - from) * share;
    }
}

// The record's values as the export sends them without a companion. In a
// stretch without tone each is the strongest frequency of noise or silence,
// hundreds of millivolts no heart made (the companion holds the
// demodulator's rest there): the stretch is bridged instead. So is each run
// of values beyond the demodulator's band within a stretch of doubtful tone
// (a dropout too short to be listed without tone).
std::vector<double> withoutToneBridged(const StoredRecording& r) {
    const RecordingFacts& f = r.facts;
    std::vector<double> values = r.values;
    const auto lines = static_cast<long long>(values.size());
    for (const auto& [first, count] : f.linesWithoutTone) {
        const auto [begin, end] = within(first, count, lines);
        bridge(values, begin, end, f.zeroValue);
    }
    const auto beyond = [&](long long k) {
        return !calibration::withinBand(values[static_cast<std::size_t>(k)], f.zeroValue,
                                        f.valuesPerMillivolt);
    };
    for (const auto& [first, count] : f.linesWithDoubtfulTone) {
        const auto [begin, end] = within(first, count, lines);
        for (long long k = begin; k < end;) {
            if (!beyond(k)) {
                ++k;
                continue;
            }
            long long run = k;
            while (run < end && beyond(run)) {
                ++run;
            }
            bridge(values, k, run, f.zeroValue);
            k = run;
        }
    }
    return values;
}

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
            const double at =
                static_cast<double>(s.millivolts.size()) / perLine / f.valuesPerSecond;
            // Which of them were lost and which left out at a change of
            // strip is known, not their order: the lost ones come first.
            const auto lost = static_cast<std::size_t>(std::min<long long>(
                f.droppedAfter(static_cast<long long>(k)), static_cast<long long>(buffers)));
            const auto seconds = [&f](std::size_t n) {
                return static_cast<double>(n) / f.valuesPerSecond;
            };
            if (lost > 0) {
                s.bridges.push_back({at, seconds(lost), EdfExport::droppedAnnotation});
            }
            if (buffers > lost) {
                s.bridges.push_back({at + seconds(lost), seconds(buffers - lost)});
            }
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

std::string EdfExport::transducer(const RecordingFacts& f) {
    std::string text = "FM front end: 0 mV = " + shortest(f.zeroValue) + " (" +
                       shortest(calibration::carrierHertz) + " Hz), " +
                       shortest(f.valuesPerMillivolt) + " per mV (" +
                       shortest(calibration::hertzPerMillivolt) + " Hz/mV)";
    return text.substr(0, transducerFieldSize);
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
                         : makeSignal(recording, withoutToneBridged(recording), 1);
    signal.dataRecord = dataRecordFor(rateTimesBuffer, facts.samplesPerBuffer);
    signal.prefilter =
        high ? companionPrefilter(facts.valuesPerSecond * companionValuesPerLine, facts.filtered())
             : (facts.filtered() ? "baseline wander removed (FILTER)" : "none");
    EdfStream::Signal form;
    form.recordSeconds = signal.dataRecord.seconds;
    form.samplesPerRecord = signal.dataRecord.samples;
    const double records = std::ceil(static_cast<double>(signal.millivolts.size()) /
                                     std::max(signal.dataRecord.samples, 1));
    const double marks = static_cast<double>(signal.bridges.size() + facts.linesWithoutTone.size() +
                                             facts.linesWithDoubtfulTone.size() + 1);
    form.annotationSignals = EdfStream::annotationSignalsFor(marks / std::max(records, 1.0));
    form.prefilter = signal.prefilter;
    form.transducer = transducer(facts);
    EdfStream edf(outPath, form, facts.startSeconds + facts.secondsAt(0), facts.startMeasured,
                  recordPath);
    for (const double millivolts : signal.millivolts) {
        edf.append(millivolts);
    }
    for (const Bridge& bridge : signal.bridges) {
        edf.annotate(bridge.at, bridge.seconds, bridge.annotation);
    }
    const auto mark = [&](const auto& stretches, const char* annotation) {
        for (const auto& [first, count] : stretches) {
            const double at = facts.secondsAt(first) - facts.secondsAt(0);
            const double lasts = facts.secondsAt(first + count - 1) - facts.secondsAt(first) +
                                 1.0 / facts.valuesPerSecond;
            edf.annotate(at, lasts, annotation);
        }
    };
    mark(facts.linesWithoutTone, withoutToneAnnotation);
    mark(facts.linesWithDoubtfulTone, doubtfulToneAnnotation);
    return edf.finish(signal.seconds);
}

}  // namespace records
