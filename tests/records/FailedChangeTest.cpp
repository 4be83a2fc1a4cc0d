#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ReplacementFile.h"
#include "records/FilteredRecording.h"
#include "records/PartialSave.h"
#include "records/RecordTime.h"
#include "records/SampleFile.h"
#include "records/UndoStore.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"

namespace records {
namespace {

using platform::ReplacementFile;
using testsupport::makeLines;

// A recording as an undo must give it back: its three files byte for byte
// (none where absent) and the time of its record.
struct Snapshot {
    std::vector<std::optional<std::string>> files;
    long long seconds = -1;
    long nanoseconds = -1;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const std::string& record) {
    Snapshot s;
    for (const std::string& path : {record, companionPath(record), factsPath(record)}) {
        s.files.push_back(std::filesystem::exists(path) ? std::optional(testsupport::readFile(path))
                                                        : std::nullopt);
    }
    if (const auto time = modificationTime(record)) {
        s.seconds = time->tv_sec;
        s.nanoseconds = time->tv_nsec;
    }
    return s;
}

std::vector<Snapshot> snapshots() {
    return {snapshot("REC.txt"), snapshot("REC1.txt")};
}

bool storeWorkingAndOlderSlot() {
    return testsupport::storeRecording("REC.txt", makeLines(60)) &&
           testsupport::storeValues("REC1.txt", makeLines(30, 1.0).values);
}

// SAVE, the slot's copy included.
bool save() {
    const ChangeOutcome outcome = saveStretch({11, 40}, 1);
    return outcome.status == ChangeOutcome::Status::Done && outcome.slot;
}

// A change whose files are renamed into place one after another: FILTER,
// SAVE, or the undo of a SAVE.
struct Change {
    const char* name;
    bool afterSave;
    std::function<bool()> run;
};

// A rename refused (a full disk, a lost device) at each of a change's
// renames in turn: the change fails, yet never beyond the undo's reach.
// Once the failure is gone, Ctrl+Z puts both recordings back as they were
// before SAVE or FILTER, byte for byte and with their times; an undo that
// failed itself is still there to be tried again.
TEST(FailedChange, ARefusedRenameLeavesTheChangeUndoable) {
    const std::vector<Change> changes = {
        {"FILTER", false,
         [] {
             std::vector<double> filtered;
             return filterWorkingRecording({}, filtered).status == ChangeOutcome::Status::Done;
         }},
        {"SAVE", false, save},
        {"undo of SAVE", true, [] { return UndoStore::restore().empty(); }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        bool failed = true;
        int passing = 0;
        for (; failed; ++passing) {
            ASSERT_LT(passing, 50);
            SCOPED_TRACE("renames before the refused one: " + std::to_string(passing));
            const testsupport::ScratchDirectory folder(testsupport::ScratchDirectory::memoryBase());
            ASSERT_TRUE(storeWorkingAndOlderSlot());
            const std::vector<Snapshot> before = snapshots();
            ASSERT_TRUE(!change.afterSave || save());

            ReplacementFile::failStepForTests(ReplacementFile::Step::Rename, ENOSPC, passing);
            failed = !change.run();
            ReplacementFile::failStepForTests(std::nullopt);

            // A failed undo is there to be tried again; a change that left
            // anything changed is there to be undone.
            if (change.afterSave ? failed : snapshots() != before) {
                ASSERT_TRUE(UndoStore::available());
            }
            if (UndoStore::available()) {
                EXPECT_EQ(UndoStore::restore(), "");
            }
            EXPECT_EQ(snapshots(), before);
            EXPECT_FALSE(UndoStore::available());
            SampleFile::close();
        }
        std::printf("[          ] %s: %d renames refused in turn\n", change.name, passing - 1);
    }
}

}  // namespace
}  // namespace records
