#include "PartialSave.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "Companion.h"
#include "RecordEncoding.h"
#include "RecordFormat.h"
#include "RecordTime.h"
#include "SampleFile.h"
#include "Slots.h"
#include "UndoStore.h"
#include "platform/RegularFile.h"

namespace records {

namespace {

constexpr double pixelsPerMillimetre = 2.5;
constexpr const char* temporaryName = "tmppt.txt";

// The facts of lines first ... last (from 0) of a recording: its start
// moves to the first line's time, and the buffers skipped between the kept
// lines stay where they were among them.
RecordingFacts stretchFacts(RecordingFacts facts, long long first, long long last) {
    facts.startSeconds += facts.secondsAt(first);
    std::vector<long long> skipped;
    for (const long long after : facts.skippedAfterLines) {
        if (after > first && after <= last) {
            skipped.push_back(after - first);
        }
    }
    facts.skippedAfterLines = std::move(skipped);
    return facts;
}

}  // namespace

LineRange markedLines(SelectionEnd a, SelectionEnd b, int paneWidth, int paneLeft,
                      double speedFactor) {
    if (a.pane > b.pane || (a.pane == b.pane && a.x > b.x)) {
        std::swap(a, b);
    }
    const double paneMillimetres = paneWidth / pixelsPerMillimetre;
    const auto position = [&](SelectionEnd e) {
        return static_cast<int>(e.pane * paneMillimetres + (e.x - paneLeft) / pixelsPerMillimetre);
    };
    const auto sample = [&](int millimetres) {
        return static_cast<int>(millimetres / speedFactor * pixelsPerMillimetre);
    };
    // Line numbers count from 1: a start of 0 keeps the first line as well.
    return {std::max(sample(position(a)), 1), sample(position(b))};
}

std::unique_ptr<RecordingCommit> stageStretch(LineRange range, const Inference& inference,
                                              PartialSaveOutcome& outcome) {
    outcome = {};
    // No recording holds no stretch.
    if (range.empty() || platform::permissionBits(SampleFile::workingFileName) < 0) {
        outcome.status = PartialSaveOutcome::Status::Empty;
        return nullptr;
    }
    StoredRecording recording;
    {
        // A capture append cannot fall into the read.
        const SampleFile::Session session;
        SampleFile::close();
        outcome.reason = readRecording(SampleFile::workingFileName, inference, recording);
    }
    if (!outcome.reason.empty()) {
        return nullptr;
    }
    const auto count = static_cast<long long>(recording.stored.size());
    const long long first = std::max<long long>(range.first, 1) - 1;
    const long long last = std::min<long long>(range.last, count) - 1;
    if (last < first) {
        outcome.status = PartialSaveOutcome::Status::Empty;
        return nullptr;
    }
    auto stretch = std::make_unique<RecordingCommit>(SampleFile::workingFileName, temporaryName);
    const RecordingFacts& facts = recording.facts;
    stretch->keepTime(shiftedTime(recording.lastStored,
                                  -static_cast<double>(count - 1 - last) / facts.valuesPerSecond));
    stretch->limitModeTo(SampleFile::workingFileName);
    char text[valueTextSize];
    for (long long k = first; k <= last; ++k) {
        const auto i = static_cast<std::size_t>(k);
        stretch->record().write({text, formatValue(recording.stored[i], LineEnd::Newline, text)});
    }
    if (!recording.companion.empty()) {
        const std::span<const double> companion = recording.companion;
        const auto perLine = static_cast<std::size_t>(companionValuesPerLine);
        char line[companionLineSize];
        for (long long k = first; k <= last; ++k) {
            const auto ten = companion.subspan(static_cast<std::size_t>(k) * perLine, perLine);
            stretch->companion().write({line, formatCompanionLine(ten, line)});
        }
    }
    if (recording.hasFacts) {
        stretch->setFacts(stretchFacts(facts, first, last));
    }
    outcome.reason = stretch->stage();
    if (!outcome.reason.empty()) {
        return nullptr;
    }
    outcome.status = PartialSaveOutcome::Status::Saved;
    outcome.kept = static_cast<int>(last - first + 1);
    return stretch;
}

PartialSaveOutcome keepLines(LineRange range, const Inference& inference) {
    PartialSaveOutcome outcome;
    const std::unique_ptr<RecordingCommit> stretch = stageStretch(range, inference, outcome);
    if (stretch) {
        outcome.reason = stretch->commit();
        if (!outcome.reason.empty()) {
            outcome.status = PartialSaveOutcome::Status::Failed;
        }
    }
    return outcome;
}

ChangeOutcome saveStretch(LineRange range, int slot, const Inference& inference) {
    ChangeOutcome outcome;
    // Kept first: without a way back, SAVE does not touch the recording.
    outcome.reason = UndoStore::keep(slot);
    if (!outcome.reason.empty()) {
        outcome.status = ChangeOutcome::Status::NotKept;
        return outcome;
    }
    PartialSaveOutcome stretched;
    const std::unique_ptr<RecordingCommit> stretch = stageStretch(range, inference, stretched);
    outcome.reason = stretched.reason;
    outcome.kept = stretched.kept;
    if (stretched.status == PartialSaveOutcome::Status::Empty) {
        UndoStore::forget();
        outcome.status = ChangeOutcome::Status::Empty;
        return outcome;
    }
    // The slot's copy is made from the stretch as staged, so that the undo
    // knows what both will hold before either changes.
    std::unique_ptr<RecordingCommit> slotCopy;
    if (stretch) {
        slotCopy = stageRecordCopy(slotFileName(slot), stretch->temporaryRecord(), outcome.slot,
                                   inference);
        outcome.reason =
            UndoStore::promise(stretch->stagedState(),
                               slotCopy ? std::optional(slotCopy->stagedState()) : std::nullopt);
    }
    if (stretch && outcome.reason.empty()) {
        outcome.reason = stretch->commit();
    }
    if (stretch && !outcome.reason.empty() && stretch->recordPlaced()) {
        // The stretch replaced the record the undo keeps.
        outcome.status = ChangeOutcome::Status::Incomplete;
        return outcome;
    }
    if (!stretch || !outcome.reason.empty()) {
        UndoStore::forget();
        return outcome;
    }
    // The slot is a recording of its own, committed on its own.
    if (slotCopy) {
        outcome.slot = commitRecordCopy(*slotCopy);
    }
    outcome.status = ChangeOutcome::Status::Done;
    return outcome;
}

}  // namespace records
