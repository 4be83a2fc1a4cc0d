#include "DecodedOutput.h"

#include <cmath>
#include <filesystem>

#include "Companion.h"
#include "EdfExport.h"
#include "EdfStream.h"
#include "RecordEncoding.h"
#include "RecordFormat.h"

namespace records {

namespace {

std::string folderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

// "5:41:53": hours, minutes and seconds.
std::string clockText(double seconds) {
    const long long total = std::llround(std::max(seconds, 0.0));
    return std::to_string(total / 3600) + ":" + (total / 60 % 60 < 10 ? "0" : "") +
           std::to_string(total / 60 % 60) + ":" + (total % 60 < 10 ? "0" : "") +
           std::to_string(total % 60);
}

}  // namespace

DecodedRecordFiles::DecodedRecordFiles(const std::string& recordPath, const std::string& modeSource,
                                       bool commitWhenFinished,
                                       std::optional<std::string> temporaryRecord,
                                       long long lineLimit)
    : commit_(std::make_unique<RecordingCommit>(recordPath, std::move(temporaryRecord),
                                                std::vector<std::string>{modeSource})),
      commitWhenFinished_(commitWhenFinished),
      lineLimit_(lineLimit) {}

std::unique_ptr<HoldBackFile> DecodedRecordFiles::holdBack(std::string& why) {
    return HoldBackFile::create(folderOf(commit_->recordPath()), why);
}

std::string DecodedRecordFiles::beyondLimit() const {
    const double seconds = valuesPerSecond_ > 0.0 ? lineLimit_ / valuesPerSecond_ : 0.0;
    return "the recording is longer than a record can hold (" + std::to_string(lineLimit_) +
           " values, " + clockText(seconds) +
           " of ECG), and nothing was written: decode it to a file ending in .edf, which holds "
           "any length";
}

std::string DecodedRecordFiles::begin(const RecordingFacts& facts) {
    valuesPerSecond_ = facts.valuesPerSecond;
    return commit_->record().file().failure();
}

void DecodedRecordFiles::append(double value, int sign, std::span<const double> tenValues) {
    char text[companionLineSize];
    commit_->record().write(
        {text, formatValue(sign * captureMarker + value, LineEnd::BlankNewline, text)});
    if (!tenValues.empty()) {
        commit_->companion().write({text, formatCompanionLine(tenValues, text)});
    }
}

std::string DecodedRecordFiles::finish(const RecordingFacts& facts) {
    commit_->setFacts(facts);
    return commitWhenFinished_ ? commit_->commit() : commit_->stage();
}

DecodedEdf::DecodedEdf(std::string path, std::string modeSource)
    : path_(std::move(path)), modeSource_(std::move(modeSource)) {}

DecodedEdf::~DecodedEdf() = default;

std::string DecodedEdf::begin(const RecordingFacts& facts) {
    facts_ = facts;
    const double perSecond = facts.valuesPerSecond * companionValuesPerLine;
    const EdfExport::DataRecord record = EdfExport::dataRecordFor(
        static_cast<long long>(facts.sampleRate) * companionValuesPerLine, facts.samplesPerBuffer);
    EdfStream::Signal signal;
    signal.recordSeconds = record.seconds;
    signal.samplesPerRecord = record.samples;
    // Room for every mark the shortest stretches without tone and with
    // doubtful tone allow (each is followed by as long a stretch that ends
    // it), and the end of the recording.
    const double marksPerSecond = 0.5 / RecordingFacts::shortestWithoutToneSeconds +
                                  0.5 / RecordingFacts::shortestDoubtfulSeconds;
    signal.annotationSignals =
        EdfStream::annotationSignalsFor(std::ceil(marksPerSecond * record.seconds) + 1.0);
    signal.prefilter = EdfExport::companionPrefilter(perSecond, facts.filtered());
    signal.transducer = EdfExport::transducer(facts);
    edf_ = std::make_unique<EdfStream>(path_, signal, facts.startSeconds, facts.startMeasured,
                                       modeSource_);
    return edf_->failure();
}

void DecodedEdf::append(double value, int sign, std::span<const double> tenValues) {
    static_cast<void>(value);
    static_cast<void>(sign);
    for (const double v : tenValues) {
        edf_->append((v - facts_.zeroValue) / facts_.valuesPerMillivolt);
    }
    ++lines_;
}

std::unique_ptr<HoldBackFile> DecodedEdf::holdBack(std::string& why) {
    if (!edf_) {
        why = path_ + " was not begun";
        return nullptr;
    }
    return HoldBackFile::create(folderOf(path_), why);
}

std::string DecodedEdf::finish(const RecordingFacts& facts) {
    if (!edf_) {
        return "nothing was decoded";
    }
    for (const auto& [first, count] : facts.linesWithoutTone) {
        edf_->annotate(facts.secondsAt(first), static_cast<double>(count) / facts.valuesPerSecond,
                       EdfExport::withoutToneAnnotation);
    }
    for (const auto& [first, count] : facts.linesWithDoubtfulTone) {
        edf_->annotate(facts.secondsAt(first), static_cast<double>(count) / facts.valuesPerSecond,
                       EdfExport::doubtfulToneAnnotation);
    }
    return edf_->finish(facts.secondsSpanned(lines_));
}

}  // namespace records
