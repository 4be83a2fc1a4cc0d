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
#include "platform/ReplacementFile.h"

namespace records {

namespace {

constexpr double pixelsPerMillimetre = 2.5;
constexpr const char* temporaryName = "tmppt.txt";

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

PartialSaveOutcome keepLines(LineRange range, double valuesPerSecond) {
    PartialSaveOutcome outcome;
    if (range.empty()) {
        outcome.status = PartialSaveOutcome::Status::Empty;
        return outcome;
    }
    platform::ReplacementFile replacement(SampleFile::workingFileName, temporaryName);
    std::vector<double> stored;
    long long firstKept = 0;
    long long lastKept = 0;
    {
        const SampleFile::Session session;
        SampleFile::close();
        SampleFile::openRead(SampleFile::workingFileName);
        std::string line;
        char text[valueTextSize];
        long long k = 0;
        // The lines after the stretch are counted too: the stretch's time is
        // the record's less theirs.
        while (SampleFile::readLine(line)) {
            ++k;
            stored.push_back(parseValue(line));
            if (k >= range.first && k <= range.last) {
                const std::size_t length = formatValue(stored.back(), LineEnd::Newline, text);
                replacement.write({text, length});
                outcome.kept += 1;
                firstKept = firstKept == 0 ? k : firstKept;
                lastKept = k;
            }
        }
        SampleFile::close();
        if (const auto time = modificationTime(SampleFile::workingFileName);
            time && valuesPerSecond > 0.0) {
            replacement.keepTime(
                shiftedTime(*time, -static_cast<double>(k - lastKept) / valuesPerSecond));
        }
    }
    if (outcome.kept == 0) {
        outcome.status = PartialSaveOutcome::Status::Empty;
        return outcome;
    }
    // The companion keeps the same lines, when it belongs to the record.
    decodeRecord(stored);
    const std::vector<double> companion = loadCompanion(SampleFile::workingFileName, stored);
    const auto perLine = static_cast<std::size_t>(companionValuesPerLine);
    platform::ReplacementFile companionReplacement(companionPath(SampleFile::workingFileName),
                                                   companionPath(temporaryName));
    if (!companion.empty()) {
        char text[companionLineSize];
        for (long long k = firstKept; k <= lastKept; ++k) {
            const auto line = std::span<const double>(companion).subspan(
                static_cast<std::size_t>(k - 1) * perLine, perLine);
            companionReplacement.write({text, formatCompanionLine(line, text)});
        }
    }
    outcome.reason = replacement.commit();
    outcome.status = outcome.reason.empty() ? PartialSaveOutcome::Status::Saved
                                            : PartialSaveOutcome::Status::Failed;
    // The record first: a companion that could not follow is removed, never
    // left beside a record it does not belong to.
    if (outcome.reason.empty() && (companion.empty() || !companionReplacement.commit().empty())) {
        removeCompanion(SampleFile::workingFileName);
    }
    return outcome;
}

}  // namespace records
