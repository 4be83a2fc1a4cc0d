#include "DecodedOutput.h"

#include "Companion.h"
#include "EdfExport.h"
#include "EdfStream.h"
#include "RecordEncoding.h"
#include "RecordFormat.h"

namespace records {

DecodedRecordFiles::DecodedRecordFiles(const std::string& recordPath, const std::string& modeSource,
                                       bool commitWhenFinished,
                                       std::optional<std::string> temporaryRecord)
    : commit_(std::make_unique<RecordingCommit>(recordPath, std::move(temporaryRecord))),
      commitWhenFinished_(commitWhenFinished) {
    commit_->limitModeTo(modeSource);
}

std::string DecodedRecordFiles::begin(const RecordingFacts& facts) {
    static_cast<void>(facts);
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

std::string DecodedEdf::finish(const RecordingFacts& facts) {
    if (!edf_) {
        return "nothing was decoded";
    }
    for (const auto& [first, count] : facts.linesWithoutTone) {
        edf_->annotate(facts.secondsAt(first), static_cast<double>(count) / facts.valuesPerSecond,
                       withoutToneAnnotation);
    }
    return edf_->finish(facts.secondsSpanned(lines_));
}

}  // namespace records
