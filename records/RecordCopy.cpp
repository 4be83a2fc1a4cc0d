#include "RecordCopy.h"

#include "Companion.h"
#include "RecordFormat.h"
#include "platform/RegularFile.h"

namespace records {

std::unique_ptr<RecordingCommit> stageRecordCopy(const std::string& destination,
                                                 const std::string& source, CopyOutcome& outcome,
                                                 const Inference& inference) {
    std::string why;
    if (platform::isNotRegular(source, &why)) {
        outcome = {CopyOutcome::Status::Failed, why};
        return nullptr;
    }
    StoredRecording recording;
    const std::string reason = readRecording(source, inference, recording);
    if (!reason.empty()) {
        const bool absent = platform::permissionBits(source) < 0;
        outcome = {absent ? CopyOutcome::Status::NoSource : CopyOutcome::Status::Failed, reason};
        return nullptr;
    }
    auto copy = std::make_unique<RecordingCommit>(destination, std::nullopt,
                                                  std::vector<std::string>{source});
    // A copy is the same recording: it keeps the time its last value was
    // stored, from which a record without facts knows its start.
    copy->keepTime(recording.lastStored);
    copy->record().file().reportWritesAs(destination);
    char text[valueTextSize];
    for (const double value : recording.stored) {
        copy->record().write({text, formatValue(value, LineEnd::BlankNewline, text)});
    }
    if (!recording.companion.empty()) {
        char line[companionLineSize];
        const std::span<const double> companion = recording.companion;
        for (std::size_t k = 0; k < companion.size(); k += companionValuesPerLine) {
            copy->companion().write(
                {line, formatCompanionLine(companion.subspan(k, companionValuesPerLine), line)});
        }
    }
    if (recording.hasFacts) {
        copy->setFacts(recording.facts);
    }
    const std::string staged = copy->stage();
    if (!staged.empty()) {
        outcome = {CopyOutcome::Status::Failed, staged};
        return nullptr;
    }
    outcome = {CopyOutcome::Status::Copied, {}};
    return copy;
}

CopyOutcome commitRecordCopy(RecordingCommit& copy) {
    const std::string reason = copy.commit();
    if (reason.empty()) {
        return {CopyOutcome::Status::Copied, {}};
    }
    return {copy.recordPlaced() ? CopyOutcome::Status::RecordOnly : CopyOutcome::Status::Failed,
            reason};
}

CopyOutcome copyRecordFile(const std::string& destination, const std::string& source,
                           const Inference& inference) {
    CopyOutcome outcome;
    const std::unique_ptr<RecordingCommit> copy =
        stageRecordCopy(destination, source, outcome, inference);
    return copy ? commitRecordCopy(*copy) : outcome;
}

}  // namespace records
