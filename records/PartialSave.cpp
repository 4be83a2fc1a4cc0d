#include "PartialSave.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "Companion.h"
#include "ProgramFiles.h"
#include "RecordEncoding.h"
#include "RecordFormat.h"
#include "RecordTime.h"
#include "SampleFile.h"
#include "UndoableReplace.h"
#include "platform/RegularFile.h"

namespace records {

namespace {

constexpr double pixelsPerMillimetre = 2.5;

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
    auto stretch =
        std::make_unique<RecordingCommit>(SampleFile::workingFileName, ProgramFiles::saveTemporary);
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
        stretch->setFacts(facts.stretch(first, last));
    }
    outcome.reason = stretch->stage();
    if (!outcome.reason.empty()) {
        return nullptr;
    }
    outcome.status = PartialSaveOutcome::Status::Saved;
    outcome.kept = static_cast<int>(last - first + 1);
    return stretch;
}

ChangeOutcome saveStretch(LineRange range, int slot, const Inference& inference) {
    ChangeOutcome outcome;
    PartialSaveOutcome stretched;
    const std::unique_ptr<RecordingCommit> stretch = stageStretch(range, inference, stretched);
    if (stretched.status == PartialSaveOutcome::Status::Empty) {
        outcome.status = ChangeOutcome::Status::Empty;
        return outcome;
    }
    if (!stretch) {
        outcome.reason = stretched.reason;
        return outcome;
    }
    outcome = replaceWorkingRecording(*stretch, slot, inference);
    outcome.kept = stretched.kept;
    return outcome;
}

}  // namespace records
