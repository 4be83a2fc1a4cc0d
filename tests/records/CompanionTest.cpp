#include "records/Companion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "records/PartialSave.h"
#include "tests/support/KeepLines.h"
#include "records/RecordCopy.h"
#include "records/RecordEncoding.h"
#include "records/RecordTime.h"
#include "records/RecordingFacts.h"
#include "records/SampleFile.h"
#include "records/UndoStore.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScratchDirectoryTest.h"
#include "tests/support/SyntheticRecording.h"

namespace records {
namespace {

using testsupport::readStored;
using testsupport::writeCompanion;

using Lines = testsupport::SyntheticLines;
using testsupport::makeLines;

// A record as the capture stores it (+-744 on every other line) with the
// companion that belongs to it.
void storeLines(const std::string& record, const Lines& r) {
    ASSERT_TRUE(testsupport::storeValues(record, r.values));
    ASSERT_TRUE(writeCompanion(record, r.companion));
}

// Facts as a finished capture leaves them.
void storeFacts(const std::string& record) {
    ASSERT_TRUE(testsupport::storeFacts(record));
}

class CompanionTest : public testsupport::ScratchDirectoryTest {};

TEST_F(CompanionTest, BelongsByItsIdentityOrByAgreeingWithEveryLine) {
    EXPECT_EQ(companionPath("REC.txt"), "REC.hr.txt");
    EXPECT_EQ(companionPath("dir.txt/REC10.txt"), "dir.txt/REC10.hr.txt");
    EXPECT_EQ(factsPath("REC3.txt"), "REC3.info.txt");
    EXPECT_EQ(factsPath("visit"), "visit.info.txt");

    // Without facts (a killed recording, an older one): by agreement.
    const Lines r = makeLines(40);
    storeLines("REC.txt", r);
    const std::vector<double> loaded = readStored("REC.txt").companion;
    ASSERT_EQ(loaded.size(), 400u);
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        EXPECT_NEAR(loaded[i], r.companion[i], 1e-6);
    }
    // Another recording's, or one line off: not this record's.
    ASSERT_TRUE(writeCompanion("REC.txt", makeLines(40, 2.0).companion));
    EXPECT_TRUE(readStored("REC.txt").companion.empty());
    std::vector<double> shifted(r.companion.begin() + 10, r.companion.end());
    shifted.insert(shifted.end(), r.companion.end() - 10, r.companion.end());
    ASSERT_TRUE(writeCompanion("REC.txt", shifted));
    EXPECT_TRUE(readStored("REC.txt").companion.empty());
    // A line fewer, a line more, a line of nine values.
    ASSERT_TRUE(writeCompanion("REC.txt", std::span(r.companion).first(390)));
    EXPECT_TRUE(readStored("REC.txt").companion.empty());
    writeFile("REC.hr.txt", readFile("REC.hr.txt") + readFile("REC.hr.txt").substr(0, 200));
    EXPECT_TRUE(readStored("REC.txt").companion.empty());
    ASSERT_TRUE(writeCompanion("REC.txt", r.companion));
    writeFile("REC.hr.txt", readFile("REC.hr.txt") + "1 2 3 4 5 6 7 8 9\n");
    EXPECT_TRUE(readCompanion("REC.hr.txt", 100).empty());
    // A last line cut short by a killed program is not a line.
    ASSERT_TRUE(writeCompanion("REC.txt", r.companion));
    writeFile("REC.hr.txt", readFile("REC.hr.txt") + "57.1 57.2 57.3");
    EXPECT_EQ(readStored("REC.txt").companion.size(), 400u);

    // With facts that name them: by identity alone, even where a line's
    // values lie far from its value (a steep flank).
    Lines steep = r;
    for (int j = 0; j < companionValuesPerLine; ++j) {
        steep.companion[170 + j] += 9.0;
    }
    storeLines("REC.txt", steep);
    EXPECT_TRUE(readStored("REC.txt").companion.empty());
    storeFacts("REC.txt");
    StoredRecording identified = readStored("REC.txt");
    EXPECT_TRUE(identified.identified);
    EXPECT_EQ(identified.companion.size(), 400u);
    EXPECT_DOUBLE_EQ(identified.facts.startSeconds, 1'700'000'000.25);
    // A companion changed since: not the one the facts name.
    ASSERT_TRUE(writeCompanion("REC.txt", r.companion));
    EXPECT_TRUE(readStored("REC.txt").companion.empty());
    // A record changed since (by hand): no companion, whatever agrees.
    storeLines("REC.txt", steep);
    storeFacts("REC.txt");
    writeFile("REC.txt", readFile("REC.txt") + "57.200000 \n");
    ASSERT_TRUE(writeCompanion("REC.txt", makeLines(41).companion));
    const StoredRecording edited = readStored("REC.txt");
    EXPECT_FALSE(edited.identified);
    EXPECT_TRUE(edited.companion.empty());
    // Its rate still comes from its facts, its start no longer: the record's
    // time less its 41 values at that rate, estimated.
    EXPECT_DOUBLE_EQ(edited.facts.valuesPerSecond, 48.75);
    EXPECT_FALSE(edited.facts.startMeasured);
    EXPECT_NEAR(edited.facts.startSeconds, secondsOf(edited.lastStored) - 41 / 48.75, 1e-6);

    // A line longer than ten values can be is no line (and nothing is read
    // whole into memory); a folder in its place is no companion.
    writeFile("REC.hr.txt", std::string(100'000, '5') + "\n");
    EXPECT_TRUE(readCompanion("REC.hr.txt", 100).empty());
    std::filesystem::remove("REC.hr.txt");
    std::filesystem::create_directory("REC.hr.txt");
    EXPECT_NE(readRecording("REC.txt", {}, identified), "");
}

TEST_F(CompanionTest, FollowsItsRecordIntoAndOutOfSlotsWithItsFacts) {
    const Lines r = makeLines(30);
    storeLines("REC.txt", r);
    // Killed between a companion line and its value: one line ahead, and a
    // part of the next; the facts as the capture wrote them at the start.
    writeFile("REC.hr.txt", readFile("REC.hr.txt") +
                                "57.0 57.0 57.0 57.0 57.0 57.0 57.0 57.0 57.0 57.0\n57.0 57");
    storeFacts("REC.txt");
    RecordingFacts started = parseFacts(readFile("REC.info.txt")).facts;
    started.record.reset();
    started.companion.reset();
    writeFile("REC.info.txt", formatFacts(started));
    // Until the start-up cuts the working companion back to its record, it
    // is not that record's; then the copy takes it, and the facts name both.
    EXPECT_TRUE(readStored("REC.txt").companion.empty());
    trimCompanion("REC.txt", countLines("REC.txt"));
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    EXPECT_EQ(countLines("REC1.hr.txt"), 30u);
    const StoredRecording slot = readStored("REC1.txt");
    EXPECT_TRUE(slot.identified);
    EXPECT_EQ(slot.companion.size(), 300u);
    EXPECT_EQ(slot.facts.source, "simulator at 72 per minute");
    EXPECT_EQ(readFile("REC.hr.txt"), readFile("REC1.hr.txt"));
    // A companion shorter than its record is left alone: the record is
    // never cut to fit it.
    trimCompanion("REC.txt", 40);
    EXPECT_EQ(countLines("REC.hr.txt"), 30u);

    // A slot loaded from a record without companion or facts: the slot's
    // of another recording go.
    writeFile("REC2.txt", "57.2 \n58.0 \n");
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC2.txt"));
    EXPECT_FALSE(exists("REC1.hr.txt"));
    EXPECT_FALSE(exists("REC1.info.txt"));
    EXPECT_EQ(countLines("REC1.txt"), 2u);
}

TEST_F(CompanionTest, SaveOfAStretchKeepsTheSameLinesAndItsOwnStart) {
    const Lines r = makeLines(50);
    storeLines("REC.txt", r);
    storeFacts("REC.txt");
    const PartialSaveOutcome outcome = keepLines({11, 30});
    ASSERT_EQ(outcome.status, PartialSaveOutcome::Status::Saved);
    const StoredRecording kept = readStored("REC.txt");
    ASSERT_EQ(kept.values.size(), 20u);
    ASSERT_EQ(kept.companion.size(), 200u);
    for (std::size_t i = 0; i < kept.companion.size(); ++i) {
        ASSERT_NEAR(kept.companion[i], r.companion[100 + i], 1e-6) << i;
    }
    EXPECT_TRUE(kept.identified);
    EXPECT_NEAR(kept.facts.startSeconds, 1'700'000'000.25 + 10 / 48.75, 1e-3);

    // A companion that did not belong to the record is not cut to fit it.
    storeLines("REC.txt", r);
    std::filesystem::remove("REC.info.txt");
    ASSERT_TRUE(writeCompanion("REC.txt", makeLines(50, 1.0).companion));
    ASSERT_EQ(keepLines({11, 30}).status, PartialSaveOutcome::Status::Saved);
    EXPECT_FALSE(exists("REC.hr.txt"));
    EXPECT_FALSE(exists("REC.info.txt"));
}

TEST_F(CompanionTest, UndoPutsEveryFileBackWithItsRecord) {
    const Lines r = makeLines(50);
    storeLines("REC.txt", r);
    storeFacts("REC.txt");
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    const std::string before[] = {readFile("REC.txt"), readFile("REC.hr.txt"),
                                  readFile("REC.info.txt"), readFile("REC1.hr.txt")};

    ASSERT_EQ(UndoStore::keep(1), "");
    PartialSaveOutcome outcome;
    const auto stretch = stageStretch({5, 9}, {}, outcome);
    ASSERT_NE(stretch, nullptr);
    CopyOutcome copy;
    const auto slot = stageRecordCopy("REC1.txt", stretch->temporaryRecord(), copy);
    ASSERT_NE(slot, nullptr);
    ASSERT_EQ(UndoStore::promise(stretch->stagedState(), slot->stagedState()), "");
    ASSERT_EQ(stretch->commit(), "");
    ASSERT_TRUE(commitRecordCopy(*slot));
    EXPECT_EQ(countLines("REC.hr.txt"), 5u);
    EXPECT_EQ(countLines("REC1.hr.txt"), 5u);

    ASSERT_EQ(UndoStore::restore(), "");
    EXPECT_EQ(readFile("REC.txt"), before[0]);
    EXPECT_EQ(readFile("REC.hr.txt"), before[1]);
    EXPECT_EQ(readFile("REC.info.txt"), before[2]);
    EXPECT_EQ(readFile("REC1.hr.txt"), before[3]);
    EXPECT_FALSE(exists("REC.undo.hr.txt"));
    EXPECT_FALSE(exists(UndoStore::stateName));
}

}  // namespace
}  // namespace records
