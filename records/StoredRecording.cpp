#include "StoredRecording.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "BaselineFilter.h"
#include "Companion.h"
#include "FrontEndCalibration.h"
#include "RecordFormat.h"
#include "RecordTime.h"
#include "platform/RegularFile.h"

namespace records {

namespace {

// How far beyond its stretch's lowest and highest companion value a stored
// value may lie, and on how many of the lines with a tone it must not.
constexpr double stretchWidening = 0.5;
constexpr double agreeingShare = 0.99;
// Where the spectrum's window joins several buffers, each tapered on its
// own, the seams move its peak by up to a quarter of a bin more (one bin is
// 1.625 on the scale of the values, at every setting).
constexpr double seamWidening = 0.25 * 1.625;

// Reads the record's values as RecordBuffer::load reads them (a line of
// more than 99 characters is several values) and its identity from the
// same bytes. False when it holds more than maxValues.
bool readValues(std::FILE* in, std::vector<double>& values, IdentityCounter& identity) {
    char chunk[1 << 15];
    std::string piece;
    piece.reserve(lineBufferSize);
    std::size_t got = 0;
    const auto emit = [&]() {
        values.push_back(parseValue(std::string_view(piece.c_str())));
        piece.clear();
        return values.size() <= StoredRecording::maxValues;
    };
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
        identity.update({chunk, got});
        for (std::size_t i = 0; i < got; ++i) {
            piece += chunk[i];
            if ((chunk[i] == '\n' || piece.size() == lineBufferSize - 1) && !emit()) {
                return false;
            }
        }
    }
    return piece.empty() || emit();
}

// The facts a record without any is read with, as before they existed.
RecordingFacts inferredFacts(const Inference& inference, const StoredRecording& r) {
    RecordingFacts f;
    f.sampleRate = inference.sampleRate;
    f.samplesPerBuffer = std::max(inference.samplesPerBuffer, 1);
    f.fftPoints = inference.fftPoints;
    f.valuesPerSecond = static_cast<double>(f.sampleRate) / f.samplesPerBuffer;
    f.zeroValue = calibration::zeroLevel;
    f.valuesPerMillivolt = calibration::perMillivolt;
    f.startMeasured = false;
    f.startSeconds =
        recordingStart(r.lastStored, static_cast<long long>(r.values.size()), f.valuesPerSecond);
    return f;
}

std::string filterFromEncoding(Encoding encoding) {
    return encoding == Encoding::Filter1000 ? BaselineFilter::method : RecordingFacts::noFilter;
}

// The companion whose identity the facts name, when the file is it.
std::vector<double> identifiedCompanion(const std::string& path, const FileIdentity& identity,
                                        std::size_t lines) {
    const std::optional<FileIdentity> found = identifyFile(companionPath(path));
    if (!found || !(*found == identity) || identity.lines != lines) {
        return {};
    }
    std::vector<double> companion = readCompanion(companionPath(path), lines);
    if (companion.size() != lines * companionValuesPerLine) {
        return {};
    }
    return companion;
}

}  // namespace

namespace {

// Lines with a tone, and those of them whose value lies within its
// stretch of the companion.
struct AgreementTally {
    std::size_t withTone = 0;
    std::size_t agreeing = 0;
    bool agrees() const {
        return withTone > 0 && static_cast<double>(agreeing) >= agreeingShare * withTone;
    }
};

// How many lines before a line its value's stretch may reach back.
std::size_t reachBack(const RecordingFacts& check) {
    return static_cast<std::size_t>(check.fftPoints / check.samplesPerBuffer) + 2;
}

// Tallies line k of a companion against the record's values `decoded`:
// `lineAt(j)` gives the ten values of line j, for k - reachBack() < j <= k.
template <typename LineAt>
void tallyLine(std::size_t k, std::span<const double> decoded, const RecordingFacts& check,
               const LineAt& lineAt, AgreementTally& tally) {
    const std::size_t perLine = companionValuesPerLine;
    const auto buffer = [&](std::size_t line) {
        const auto n = static_cast<long long>(line);
        return n + check.skippedBefore(n);
    };
    const double s = check.samplesPerBuffer;
    const double widening =
        stretchWidening + (check.fftPoints > check.samplesPerBuffer ? seamWidening : 0.0);
    // The lines at the end, whose ten values were completed by holding the
    // last frequency, are not compared.
    const auto held = static_cast<std::size_t>(
        std::ceil(companionReachSeconds * check.sampleRate / check.samplesPerBuffer));
    if (k + held >= decoded.size()) {
        return;
    }
    const double v = decoded[k];
    // The spectrum's window: the last fftPoints samples up to the end of
    // this line's buffer, across the buffers before it. One that reaches
    // before the recording saw silence there.
    const double windowStart = (static_cast<double>(buffer(k)) + 1.0) * s - check.fftPoints;
    if (windowStart < 0.0 ||
        !calibration::withinBand(v, check.zeroValue, check.valuesPerMillivolt)) {
        return;
    }
    ++tally.withTone;
    double lowest = lineAt(k)[0];
    double highest = lowest;
    for (std::size_t j = k + 1; j-- > 0;) {
        const double first = static_cast<double>(buffer(j)) * s;
        if (first + s <= windowStart) {
            break;
        }
        const std::span<const double> line = lineAt(j);
        for (std::size_t t = 0; t < perLine; ++t) {
            if (first + (static_cast<double>(t) + 1.0) * s / perLine > windowStart) {
                lowest = std::min(lowest, line[t]);
                highest = std::max(highest, line[t]);
            }
        }
    }
    if (v >= lowest - widening && v <= highest + widening) {
        ++tally.agreeing;
    }
}

bool checkable(std::span<const double> decoded, const RecordingFacts& check) {
    return !decoded.empty() && check.samplesPerBuffer > 0 && check.fftPoints > 0;
}

// companionAgrees for the companion file at `path`, read a line at a time:
// only the lines a value's stretch reaches are held.
bool companionFileAgrees(const std::string& path, std::span<const double> decoded,
                         const RecordingFacts& check) {
    if (!checkable(decoded, check)) {
        return false;
    }
    const std::size_t perLine = companionValuesPerLine;
    const std::size_t ring = reachBack(check);
    std::vector<double> recent(ring * perLine);
    const auto lineAt = [&](std::size_t j) {
        return std::span<const double>(recent).subspan((j % ring) * perLine, perLine);
    };
    AgreementTally tally;
    std::size_t lines = 0;
    const bool read = forEachCompanionLine(
        path, decoded.size() + 1,
        [&](std::size_t k, std::span<const double> ten) {
            std::copy(ten.begin(), ten.end(), recent.begin() + (k % ring) * perLine);
            if (k < decoded.size()) {
                tallyLine(k, decoded, check, lineAt, tally);
            }
            return true;
        },
        &lines);
    return read && lines == decoded.size() && tally.agrees();
}

}  // namespace

bool companionAgrees(std::span<const double> companion, std::span<const double> decoded,
                     const RecordingFacts& check) {
    const std::size_t perLine = companionValuesPerLine;
    if (!checkable(decoded, check) || companion.size() != decoded.size() * perLine) {
        return false;
    }
    const auto lineAt = [&](std::size_t j) { return companion.subspan(j * perLine, perLine); };
    AgreementTally tally;
    for (std::size_t k = 0; k < decoded.size(); ++k) {
        tallyLine(k, decoded, check, lineAt, tally);
    }
    return tally.agrees();
}

bool companionBelongs(const std::string& path, const StoredRecording& recording) {
    if (recording.values.empty()) {
        return false;
    }
    const std::string companion = companionPath(path);
    if (recording.facts.complete()) {
        if (!recording.identified || !recording.facts.companion) {
            return false;
        }
        const std::optional<FileIdentity> found = identifyFile(companion);
        return found && *found == *recording.facts.companion &&
               found->lines == recording.values.size();
    }
    return companionFileAgrees(companion, recording.values, recording.facts);
}

std::string readRecording(const std::string& path, const Inference& inference, StoredRecording& out,
                          bool withCompanion) {
    out = StoredRecording{};
    std::string why;
    // A pipe or a device beside the record is refused, not waited for.
    for (const std::string& beside : {factsPath(path), companionPath(path)}) {
        if (platform::isNotRegular(beside, &why)) {
            return why;
        }
    }
    const platform::File in = platform::openRegularForReading(path, &why);
    if (!in) {
        return why.empty() ? path + " does not exist" : why;
    }
    struct stat info {};
    if (::fstat(fileno(in.get()), &info) == 0) {
        out.lastStored = info.st_mtim;
    }
    IdentityCounter identity;
    if (!readValues(in.get(), out.stored, identity)) {
        return path + " holds more values than any recording";
    }
    if (std::ferror(in.get()) != 0) {
        return path + " cannot be read";
    }
    out.values = out.stored;
    out.encoding = decodeRecord(out.values);

    const FactsReading reading = readFacts(path);
    out.hasFacts = reading.status == FactsReading::Status::Read;
    out.factsProblem = reading.reason;
    out.facts = out.hasFacts ? reading.facts : inferredFacts(inference, out);
    // Facts of a longer recording (a record cut by hand, a killed stop)
    // place nothing beyond this one's end.
    out.facts.limitTo(static_cast<long long>(out.values.size()));
    out.identified = out.hasFacts && out.facts.record && *out.facts.record == identity.result();
    if (!out.hasFacts || (out.facts.complete() && !out.identified)) {
        // Only the record itself says whether it was filtered.
        out.facts.filter = filterFromEncoding(out.encoding);
    }
    if (out.hasFacts && out.facts.complete() && !out.identified) {
        // Facts of another version (a record restored from a backup, changed
        // by hand): their start is not this record's. It is inferred as for
        // a record without facts, over the duration their rates give.
        out.facts.startSeconds = secondsOf(out.lastStored) - out.durationSeconds();
        out.facts.startMeasured = false;
    }
    if (!withCompanion || out.values.empty()) {
        return {};
    }
    if (out.facts.complete()) {
        if (out.identified && out.facts.companion) {
            out.companion = identifiedCompanion(path, *out.facts.companion, out.values.size());
        }
        return {};
    }
    // No identities to go by: the companion must agree with the values.
    std::vector<double> companion = readCompanion(companionPath(path), out.values.size() + 1);
    if (companionAgrees(companion, out.values, out.facts)) {
        out.companion = std::move(companion);
    }
    return {};
}

}  // namespace records
