#include "PartialSave.h"

#include <algorithm>
#include <utility>

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
    {
        const SampleFile::Session session;
        SampleFile::close();
        SampleFile::openRead(SampleFile::workingFileName);
        std::string line;
        char text[valueTextSize];
        long long k = 0;
        long long lastKept = 0;
        // The lines after the stretch are counted too: the stretch's time is
        // the record's less theirs.
        while (SampleFile::readLine(line)) {
            ++k;
            if (k >= range.first && k <= range.last) {
                const std::size_t length = formatValue(parseValue(line), LineEnd::Newline, text);
                replacement.write({text, length});
                outcome.kept += 1;
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
    outcome.reason = replacement.commit();
    outcome.status = outcome.reason.empty() ? PartialSaveOutcome::Status::Saved
                                            : PartialSaveOutcome::Status::Failed;
    return outcome;
}

}  // namespace records
