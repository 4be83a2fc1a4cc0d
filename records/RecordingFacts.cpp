#include "RecordingFacts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <system_error>

#include "FrontEndCalibration.h"
#include "RecordFormat.h"
#include "platform/RegularFile.h"

namespace records {

namespace {

constexpr const char* factsExtension = ".info.txt";
// The scale of every spectrum's values: 199680 samples a second in 4096
// points, one value per 30 Hz.
constexpr double defaultBinsPerHertz = 4096.0 / 199680.0;

// Far beyond the rates and scales of every setting (about 0.5 to 800
// values a second, 0.02 to 50 values a millivolt).
constexpr double lowestValuesPerSecond = 0.1;
constexpr double highestValuesPerSecond = 100000.0;
constexpr double lowestValuesPerMillivolt = 1e-3;
constexpr double highestValuesPerMillivolt = 1e4;

std::string number(double value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return result.ec == std::errc{} ? std::string(text, result.ptr) : std::string("nan");
}

template <typename T>
bool parseNumber(std::string_view text, T& out) {
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, out);
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(out)) {
            return false;
        }
    }
    return result.ec == std::errc{} && result.ptr == last;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool parseList(std::string_view text, std::vector<long long>& out) {
    out.clear();
    while (true) {
        text = trimmed(text);
        if (text.empty()) {
            return true;
        }
        const std::size_t end = std::min(text.find(' '), text.size());
        long long value = 0;
        if (!parseNumber(text.substr(0, end), value) || value < 0 ||
            (!out.empty() && value < out.back())) {
            return false;
        }
        out.push_back(value);
        text.remove_prefix(end);
    }
}

// "120+61 400+61": first line and number of lines of each stretch.
bool parseStretches(std::string_view text, std::vector<std::pair<long long, long long>>& out) {
    out.clear();
    while (true) {
        text = trimmed(text);
        if (text.empty()) {
            return true;
        }
        const std::size_t end = std::min(text.find(' '), text.size());
        const std::string_view item = text.substr(0, end);
        const std::size_t plus = item.find('+');
        long long first = 0;
        long long count = 0;
        if (plus == std::string_view::npos || !parseNumber(item.substr(0, plus), first) ||
            !parseNumber(item.substr(plus + 1), count) || first < 0 || count <= 0) {
            return false;
        }
        out.emplace_back(first, count);
        text.remove_prefix(end);
    }
}

bool isHexDigest(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// One "key: value" line into the facts; false for a known key whose value
// is not what it must be.
bool take(std::string_view key, std::string_view value, RecordingFacts& f,
          std::optional<std::size_t>& recordLines, std::string& recordHash,
          std::optional<std::size_t>& companionLines, std::string& companionHash) {
    const std::string text(value);
    if (key == "start") {
        const std::optional<double> start = parseIsoTime(text);
        f.startSeconds = start.value_or(0.0);
        return start.has_value();
    }
    if (key == "start-is") {
        f.startMeasured = value == "measured";
        return value == "measured" || value == "estimated";
    }
    if (key == "values-per-second") {
        return parseNumber(value, f.valuesPerSecond) && f.valuesPerSecond > 0.0;
    }
    if (key == "sample-rate") {
        return parseNumber(value, f.sampleRate) && f.sampleRate > 0;
    }
    if (key == "samples-per-buffer") {
        return parseNumber(value, f.samplesPerBuffer) && f.samplesPerBuffer > 0;
    }
    if (key == "fft-points") {
        return parseNumber(value, f.fftPoints) && f.fftPoints > 0;
    }
    if (key == "bits") {
        return parseNumber(value, f.bits) && f.bits >= 0;
    }
    if (key == "value-at-0-mV") {
        return parseNumber(value, f.zeroValue);
    }
    if (key == "values-per-mV") {
        return parseNumber(value, f.valuesPerMillivolt) && f.valuesPerMillivolt > 0.0;
    }
    if (key == "source") {
        f.source = text;
        return true;
    }
    if (key == "filter") {
        f.filter = text.empty() ? RecordingFacts::noFilter : text;
        return true;
    }
    if (key == "skipped-buffers-after-lines") {
        return parseList(value, f.skippedAfterLines);
    }
    if (key == "dropped-buffers-after-lines") {
        return parseList(value, f.droppedAfterLines);
    }
    if (key == "lines-without-tone") {
        return parseStretches(value, f.linesWithoutTone);
    }
    if (key == "lines-with-doubtful-tone") {
        return parseStretches(value, f.linesWithDoubtfulTone);
    }
    std::size_t lines = 0;
    if (key == "record-lines" || key == "companion-lines") {
        if (!parseNumber(value, lines)) {
            return false;
        }
        (key == "record-lines" ? recordLines : companionLines) = lines;
        return true;
    }
    if (key == "record-sha256" || key == "companion-sha256") {
        (key == "record-sha256" ? recordHash : companionHash) = text;
        return isHexDigest(value);
    }
    return true;
}

// Lines from `first` to `last` kept alone: the entries of a list of
// skipped buffers that lie between them, counted from `first`.
std::vector<long long> keptBetween(const std::vector<long long>& afterLines, long long first,
                                   long long last) {
    std::vector<long long> kept;
    for (const long long after : afterLines) {
        if (after > first && after <= last) {
            kept.push_back(after - first);
        }
    }
    return kept;
}

void cutAfter(std::vector<long long>& afterLines, long long lines) {
    while (!afterLines.empty() && afterLines.back() > lines) {
        afterLines.pop_back();
    }
}

using Stretches = std::vector<std::pair<long long, long long>>;

// The parts of stretches (first line, lines) that lie within lines `first`
// to `last`, counted from `first`.
Stretches stretchesBetween(const Stretches& stretches, long long first, long long last) {
    Stretches kept;
    for (const auto& [from, count] : stretches) {
        const long long begins = std::max(from, first);
        const long long ends = std::min(from + count - 1, last);
        if (begins <= ends) {
            kept.emplace_back(begins - first, ends - begins + 1);
        }
    }
    return kept;
}

// "first+count first+count ...", appended piece by piece as listText is.
std::string stretchesText(const Stretches& stretches) {
    std::string text;
    for (const auto& [first, count] : stretches) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text.append(std::to_string(first));
        text.push_back('+');
        text.append(std::to_string(count));
    }
    return text;
}

std::string listText(const std::vector<long long>& afterLines) {
    // Appended piece by piece: g++ 12 at -O2 warns (wrongly) of overlapping
    // copies in a chain of string additions here.
    std::string text;
    for (const long long k : afterLines) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text.append(std::to_string(k));
    }
    return text;
}

FactsReading unusable(std::string reason) {
    FactsReading reading;
    reading.status = FactsReading::Status::Unusable;
    reading.reason = std::move(reason);
    return reading;
}

// "+0100" as strftime writes it -> "+01:00".
std::string offsetText(const std::tm& local) {
    char zone[8];
    std::strftime(zone, sizeof zone, "%z", &local);
    char text[8];
    std::snprintf(text, sizeof text, "%.3s:%.2s", zone, zone + 3);
    return text;
}

bool digits(std::string_view text, std::size_t at, std::size_t count, int& out) {
    if (at + count > text.size()) {
        return false;
    }
    out = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

long long RecordingFacts::skippedBefore(long long line) const {
    return std::upper_bound(skippedAfterLines.begin(), skippedAfterLines.end(), line) -
           skippedAfterLines.begin();
}

long long RecordingFacts::droppedAfter(long long lines) const {
    const auto [from, to] =
        std::equal_range(droppedAfterLines.begin(), droppedAfterLines.end(), lines);
    return to - from;
}

double RecordingFacts::secondsAt(long long line) const {
    if (!(valuesPerSecond > 0.0)) {
        return 0.0;
    }
    return static_cast<double>(line + skippedBefore(line)) / valuesPerSecond;
}

double RecordingFacts::secondsSpanned(long long lines) const {
    if (!(valuesPerSecond > 0.0) || lines <= 0) {
        return 0.0;
    }
    // The skips between the first and the last line count; one after the
    // last line does not.
    return static_cast<double>(lines + skippedBefore(lines - 1)) / valuesPerSecond;
}

RecordingFacts RecordingFacts::stretch(long long first, long long last) const {
    RecordingFacts kept = *this;
    kept.startSeconds += secondsAt(first);
    kept.skippedAfterLines = keptBetween(skippedAfterLines, first, last);
    kept.droppedAfterLines = keptBetween(droppedAfterLines, first, last);
    kept.linesWithoutTone = stretchesBetween(linesWithoutTone, first, last);
    kept.linesWithDoubtfulTone = stretchesBetween(linesWithDoubtfulTone, first, last);
    return kept;
}

void RecordingFacts::limitTo(long long lines) {
    cutAfter(skippedAfterLines, lines);
    cutAfter(droppedAfterLines, lines);
    linesWithoutTone = stretchesBetween(linesWithoutTone, 0, lines - 1);
    linesWithDoubtfulTone = stretchesBetween(linesWithDoubtfulTone, 0, lines - 1);
}

std::string factsPath(const std::string& recordPath) {
    return besideRecord(recordPath, factsExtension);
}

double valueScaleAt(int sampleRate, int fftPoints) {
    if (sampleRate <= 0 || fftPoints <= 0) {
        return 1.0;
    }
    return (static_cast<double>(fftPoints) / sampleRate) / defaultBinsPerHertz;
}

double zeroValueAt(int sampleRate, int fftPoints) {
    return calibration::zeroLevel * valueScaleAt(sampleRate, fftPoints);
}

double valuesPerMillivoltAt(int sampleRate, int fftPoints) {
    return calibration::perMillivolt * valueScaleAt(sampleRate, fftPoints);
}

std::string formatFacts(const RecordingFacts& f) {
    std::string text = std::string(RecordingFacts::header) + "\n";
    const auto line = [&text](const char* key, const std::string& value) {
        text += key;
        text += ": ";
        text += value;
        text += '\n';
    };
    line("start", isoTimeWithMilliseconds(f.startSeconds));
    line("start-is", f.startMeasured ? "measured" : "estimated");
    line("values-per-second", number(f.valuesPerSecond));
    line("sample-rate", std::to_string(f.sampleRate));
    line("samples-per-buffer", std::to_string(f.samplesPerBuffer));
    line("fft-points", std::to_string(f.fftPoints));
    line("bits", std::to_string(f.bits));
    line("value-at-0-mV", number(f.zeroValue));
    line("values-per-mV", number(f.valuesPerMillivolt));
    line("front-end", calibration::frontEnd);
    line("source", f.source);
    line("filter", f.filter);
    line("skipped-buffers-after-lines", listText(f.skippedAfterLines));
    if (!f.droppedAfterLines.empty()) {
        line("dropped-buffers-after-lines", listText(f.droppedAfterLines));
    }
    if (!f.linesWithoutTone.empty()) {
        line("lines-without-tone", stretchesText(f.linesWithoutTone));
    }
    if (!f.linesWithDoubtfulTone.empty()) {
        line("lines-with-doubtful-tone", stretchesText(f.linesWithDoubtfulTone));
    }
    if (f.record) {
        line("record-lines", std::to_string(f.record->lines));
        line("record-sha256", f.record->sha256);
        if (f.companion) {
            line("companion-lines", std::to_string(f.companion->lines));
            line("companion-sha256", f.companion->sha256);
        }
    }
    return text;
}

FactsReading parseFacts(const std::string& text) {
    FactsReading reading;
    reading.status = FactsReading::Status::Read;
    RecordingFacts& f = reading.facts;
    std::optional<std::size_t> recordLines;
    std::optional<std::size_t> companionLines;
    std::string recordHash;
    std::string companionHash;
    bool sawStart = false;
    bool sawRate = false;
    std::string_view rest = text;
    bool first = true;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        line = trimmed(line);
        if (first) {
            if (line != RecordingFacts::header) {
                return unusable("it is not a facts file of this program's version");
            }
            first = false;
            continue;
        }
        if (line.empty()) {
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            return unusable("a line holds no key");
        }
        const std::string_view key = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (!take(key, value, f, recordLines, recordHash, companionLines, companionHash)) {
            return unusable("its " + std::string(key) + " is not valid");
        }
        sawStart = sawStart || key == "start";
        sawRate = sawRate || key == "values-per-second";
    }
    if (first || !sawStart || !sawRate || f.sampleRate <= 0 || f.samplesPerBuffer <= 0 ||
        f.fftPoints <= 0 || !(f.valuesPerMillivolt > 0.0)) {
        return unusable("it lacks the start, the rates or the scale");
    }
    // The lines are placed in time by the rate, and drawn and printed by it
    // and the scale: a rate that is not the settings' own, or far outside
    // any, would spread a printout over millions of pages.
    const double rate = static_cast<double>(f.sampleRate) / f.samplesPerBuffer;
    if (!(rate >= lowestValuesPerSecond && rate <= highestValuesPerSecond) ||
        std::abs(f.valuesPerSecond - rate) > 1e-6 * rate) {
        return unusable(
            "its values-per-second are not its sample-rate over its samples-per-buffer");
    }
    if (!std::isfinite(f.zeroValue) || !(f.valuesPerMillivolt >= lowestValuesPerMillivolt &&
                                         f.valuesPerMillivolt <= highestValuesPerMillivolt)) {
        return unusable("its scale lies outside any the program records at");
    }
    // Every buffer lost is a skipped one, at the same place.
    if (!std::includes(f.skippedAfterLines.begin(), f.skippedAfterLines.end(),
                       f.droppedAfterLines.begin(), f.droppedAfterLines.end())) {
        return unusable("its dropped-buffers-after-lines are not among its skipped buffers");
    }
    if (recordLines && !recordHash.empty()) {
        f.record = FileIdentity{*recordLines, recordHash};
        if (companionLines && !companionHash.empty()) {
            f.companion = FileIdentity{*companionLines, companionHash};
        }
    }
    return reading;
}

FactsReading readFacts(const std::string& recordPath) {
    const std::string path = factsPath(recordPath);
    std::string why;
    const platform::File in = platform::openRegularForReading(path, &why);
    if (!in) {
        return why.empty() ? FactsReading{} : unusable(why);
    }
    // Facts are a few hundred bytes; the list of stretches without tone of
    // a long recording a few hundred thousand. Anything beyond is not a
    // facts file, and its lines are not looked at.
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) {
        text.append(chunk, got);
        if (text.size() > maxFactsLength) {
            return unusable(path + " is longer than facts can be");
        }
    }
    if (std::ferror(in.get()) != 0) {
        return unusable(path + " cannot be read");
    }
    FactsReading reading = parseFacts(text);
    if (reading.status == FactsReading::Status::Unusable) {
        reading.reason = path + " cannot be used: " + reading.reason;
    }
    return reading;
}

std::string isoTimeWithMilliseconds(double secondsSinceEpoch) {
    double whole = std::floor(secondsSinceEpoch);
    long long millis = std::llround((secondsSinceEpoch - whole) * 1000.0);
    if (millis >= 1000) {
        whole += 1.0;
        millis -= 1000;
    }
    const auto t = static_cast<std::time_t>(whole);
    std::tm local{};
    localtime_r(&t, &local);
    char time[32];
    std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%S", &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03lld%s", time, millis, offsetText(local).c_str());
    return text;
}

std::optional<double> parseIsoTime(const std::string& text) {
    std::tm t{};
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!digits(text, 0, 4, year) || text.size() < 19 || text[4] != '-' ||
        !digits(text, 5, 2, month) || text[7] != '-' || !digits(text, 8, 2, day) ||
        text[10] != 'T' || !digits(text, 11, 2, hour) || text[13] != ':' ||
        !digits(text, 14, 2, minute) || text[16] != ':' || !digits(text, 17, 2, second) ||
        month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    std::size_t at = 19;
    double fraction = 0.0;
    if (at < text.size() && text[at] == '.') {
        double scale = 0.1;
        ++at;
        const std::size_t from = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            fraction += (text[at] - '0') * scale;
            scale /= 10.0;
            ++at;
        }
        if (at == from) {
            return std::nullopt;
        }
    }
    int offsetSeconds = 0;
    if (at < text.size() && text[at] == 'Z') {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int oh = 0;
        int om = 0;
        if (!digits(text, at + 1, 2, oh) || at + 3 >= text.size() || text[at + 3] != ':' ||
            !digits(text, at + 4, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetSeconds = (oh * 3600 + om * 60) * (text[at] == '-' ? -1 : 1);
        at += 6;
    } else {
        return std::nullopt;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    const std::time_t utc = timegm(&t);
    return static_cast<double>(utc) - offsetSeconds + fraction;
}

}  // namespace records
