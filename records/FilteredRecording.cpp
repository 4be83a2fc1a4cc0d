#include "FilteredRecording.h"

#include <span>

#include "BaselineFilter.h"
#include "Companion.h"
#include "ProgramFiles.h"
#include "RecordEncoding.h"
#include "RecordFormat.h"
#include "SampleFile.h"
#include "UndoStore.h"

namespace records {

std::unique_ptr<RecordingCommit> stageFilteredRecording(const Inference& inference,
                                                        std::vector<double>& filtered,
                                                        std::string& reason) {
    StoredRecording recording;
    {
        // A capture append cannot fall into the read.
        const SampleFile::Session session;
        SampleFile::close();
        reason = readRecording(SampleFile::workingFileName, inference, recording);
    }
    if (!reason.empty()) {
        return nullptr;
    }
    const double valuesPerSecond = recording.facts.valuesPerSecond;
    // The whole file is filtered and stored, also beyond the values a pane's
    // record holds: FILTER never drops a sample.
    filtered = BaselineFilter::apply(recording.values, valuesPerSecond, recording.facts.zeroValue);
    auto change = std::make_unique<RecordingCommit>(SampleFile::workingFileName,
                                                    ProgramFiles::filterTemporary);
    // The filtered recording is the same recording: it keeps its time.
    change->keepTime(recording.lastStored);
    change->limitModeTo(SampleFile::workingFileName);
    char text[valueTextSize];
    for (std::size_t i = 0; i < filtered.size(); ++i) {
        const double marker = i % 2 == 0 ? filterMarker : -filterMarker;
        change->record().write({text, formatValue(filtered[i] + marker, LineEnd::Newline, text)});
    }
    if (!recording.companion.empty()) {
        const std::vector<double> companion =
            BaselineFilter::apply(recording.companion, valuesPerSecond * companionValuesPerLine,
                                  recording.facts.zeroValue);
        const std::span<const double> lines = companion;
        char line[companionLineSize];
        for (std::size_t k = 0; k + companionValuesPerLine <= lines.size();
             k += companionValuesPerLine) {
            change->companion().write(
                {line, formatCompanionLine(lines.subspan(k, companionValuesPerLine), line)});
        }
    }
    if (recording.hasFacts) {
        RecordingFacts facts = recording.facts;
        facts.filter = BaselineFilter::method;
        change->setFacts(facts);
    }
    reason = change->stage();
    return reason.empty() ? std::move(change) : nullptr;
}

ChangeOutcome filterWorkingRecording(const Inference& inference, std::vector<double>& filtered) {
    ChangeOutcome outcome;
    // Kept first: without a way back, FILTER does not touch the recording.
    outcome.reason = UndoStore::keep(UndoStore::noSlot);
    if (!outcome.reason.empty()) {
        outcome.status = ChangeOutcome::Status::NotKept;
        return outcome;
    }
    const std::unique_ptr<RecordingCommit> change =
        stageFilteredRecording(inference, filtered, outcome.reason);
    if (change) {
        // What the change will leave is promised before it is made, so that
        // an undo finds it whatever happens next.
        outcome.reason = UndoStore::promise(change->stagedState(), std::nullopt);
    }
    if (outcome.reason.empty()) {
        outcome.reason = change->commit();
    }
    if (!outcome.reason.empty()) {
        if (change && change->recordPlaced()) {
            // The filtered record replaced the one the undo keeps.
            outcome.status = ChangeOutcome::Status::Incomplete;
            return outcome;
        }
        UndoStore::forget();
        return outcome;
    }
    outcome.status = ChangeOutcome::Status::Done;
    return outcome;
}

}  // namespace records
