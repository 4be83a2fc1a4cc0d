#include "records/Companion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "records/PartialSave.h"
#include "records/RecordCopy.h"
#include "records/RecordEncoding.h"
#include "records/SampleFile.h"
#include "records/UndoStore.h"
#include "tests/support/RecordText.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace records {
namespace {

// A record of `lines` values as the capture stores them (+-744 on every
// other line) with the companion that belongs to it: ten values a line
// around each value, their mean the value.
struct Recording {
    std::vector<double> values;
    std::vector<double> companion;
};

Recording makeRecording(int lines, double phase = 0.0) {
    Recording r;
    for (int k = 0; k < lines; ++k) {
        const double value = 57.2 + 3.0 * std::sin(0.3 * k + phase);
        r.values.push_back(value);
        for (int j = 0; j < companionValuesPerLine; ++j) {
            r.companion.push_back(value + 0.02 * (j - 4.5));
        }
    }
    return r;
}

void storeRecording(const std::string& record, const Recording& r) {
    std::string text;
    char value[valueTextSize];
    for (std::size_t k = 0; k < r.values.size(); ++k) {
        const double marker = k % 2 == 0 ? captureMarker : -captureMarker;
        text.append(value, formatValue(r.values[k] + marker, LineEnd::BlankNewline, value));
    }
    std::FILE* out = std::fopen(record.c_str(), "w");
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    ASSERT_EQ(writeCompanion(record, r.companion), "");
}

std::vector<double> decoded(const std::string& record) {
    std::vector<double> values = testsupport::readRecordValues(record);
    decodeRecord(values);
    return values;
}

class CompanionTest : public testsupport::ScratchDirectoryTest {};

TEST_F(CompanionTest, BelongsOnlyWithEveryLineAndEveryMeanInAgreement) {
    EXPECT_EQ(companionPath("REC.txt"), "REC.hr.txt");
    EXPECT_EQ(companionPath("dir.txt/REC10.txt"), "dir.txt/REC10.hr.txt");
    EXPECT_EQ(companionPath("visit"), "visit.hr.txt");

    const Recording r = makeRecording(40);
    storeRecording("REC.txt", r);
    const std::vector<double> values = decoded("REC.txt");
    const std::vector<double> loaded = loadCompanion("REC.txt", values);
    ASSERT_EQ(loaded.size(), 400u);
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        EXPECT_NEAR(loaded[i], r.companion[i], 1e-6);
    }

    // One line's mean off by more than the agreement: another recording's.
    Recording off = r;
    for (int j = 0; j < companionValuesPerLine; ++j) {
        off.companion[170 + j] += 0.6;
    }
    ASSERT_EQ(writeCompanion("REC.txt", off.companion), "");
    EXPECT_TRUE(loadCompanion("REC.txt", values).empty());

    // A line fewer, a line more, a line of nine values: not this record's.
    std::vector<double> shorter(r.companion.begin(), r.companion.end() - 10);
    ASSERT_EQ(writeCompanion("REC.txt", shorter), "");
    EXPECT_TRUE(loadCompanion("REC.txt", values).empty());
    std::vector<double> longer = r.companion;
    longer.insert(longer.end(), r.companion.end() - 10, r.companion.end());
    ASSERT_EQ(writeCompanion("REC.txt", longer), "");
    EXPECT_TRUE(loadCompanion("REC.txt", values).empty());
    ASSERT_EQ(writeCompanion("REC.txt", r.companion), "");
    writeFile("REC.hr.txt", readFile("REC.hr.txt") + "1 2 3 4 5 6 7 8 9\n");
    EXPECT_TRUE(readCompanion("REC.hr.txt", 100).empty());

    // A last line cut short by a killed program is not a line.
    ASSERT_EQ(writeCompanion("REC.txt", r.companion), "");
    writeFile("REC.hr.txt", readFile("REC.hr.txt") + "57.1 57.2 57.3");
    EXPECT_EQ(loadCompanion("REC.txt", values).size(), 400u);
    // A folder in its place is no companion.
    std::filesystem::remove("REC.hr.txt");
    std::filesystem::create_directory("REC.hr.txt");
    EXPECT_TRUE(loadCompanion("REC.txt", values).empty());
}

TEST_F(CompanionTest, FollowsItsRecordIntoAndOutOfSlots) {
    const Recording r = makeRecording(30);
    storeRecording("REC.txt", r);
    // Killed between a companion line and its value: one line ahead, and a
    // part of the next.
    writeFile("REC.hr.txt", readFile("REC.hr.txt") +
                                "57.0 57.0 57.0 57.0 57.0 57.0 57.0 57.0 57.0 57.0\n57.0 57");
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    EXPECT_EQ(countLines("REC1.hr.txt"), 30u);
    EXPECT_EQ(loadCompanion("REC1.txt", decoded("REC1.txt")).size(), 300u);

    // The start-up cuts the working companion back to its record.
    trimCompanion("REC.txt", countLines("REC.txt"));
    EXPECT_EQ(readFile("REC.hr.txt"), readFile("REC1.hr.txt"));
    // A companion shorter than its record is left alone: the record is
    // never cut to fit it.
    trimCompanion("REC.txt", 40);
    EXPECT_EQ(countLines("REC.hr.txt"), 30u);

    // A slot with a companion loaded from a record without one: the slot's
    // companion of another recording goes.
    writeFile("REC2.txt", "57.2 \n58.0 \n");
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC2.txt"));
    EXPECT_FALSE(exists("REC1.hr.txt"));
    EXPECT_EQ(countLines("REC1.txt"), 2u);
}

TEST_F(CompanionTest, SaveOfAStretchKeepsTheSameLinesOfTheCompanion) {
    const Recording r = makeRecording(50);
    storeRecording("REC.txt", r);
    const PartialSaveOutcome outcome = keepLines({11, 30}, 48.75);
    ASSERT_EQ(outcome.status, PartialSaveOutcome::Status::Saved);
    const std::vector<double> values = decoded("REC.txt");
    ASSERT_EQ(values.size(), 20u);
    const std::vector<double> companion = loadCompanion("REC.txt", values);
    ASSERT_EQ(companion.size(), 200u);
    for (std::size_t i = 0; i < companion.size(); ++i) {
        ASSERT_NEAR(companion[i], r.companion[100 + i], 1e-6) << i;
    }

    // A companion that did not belong to the record is not cut to fit it.
    const Recording other = makeRecording(50, 1.0);
    storeRecording("REC.txt", r);
    ASSERT_EQ(writeCompanion("REC.txt", other.companion), "");
    ASSERT_EQ(keepLines({11, 30}, 48.75).status, PartialSaveOutcome::Status::Saved);
    EXPECT_FALSE(exists("REC.hr.txt"));
}

TEST_F(CompanionTest, UndoPutsTheCompanionsBackWithTheirRecords) {
    const Recording r = makeRecording(50);
    storeRecording("REC.txt", r);
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    const std::string recordBefore = readFile("REC.txt");
    const std::string companionBefore = readFile("REC.hr.txt");
    const std::string slotCompanionBefore = readFile("REC1.hr.txt");

    ASSERT_EQ(UndoStore::keep(1), "");
    ASSERT_EQ(keepLines({5, 9}, 48.75).status, PartialSaveOutcome::Status::Saved);
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    UndoStore::seal();
    EXPECT_EQ(countLines("REC.hr.txt"), 5u);
    EXPECT_EQ(countLines("REC1.hr.txt"), 5u);

    ASSERT_EQ(UndoStore::restore(), "");
    EXPECT_EQ(readFile("REC.txt"), recordBefore);
    EXPECT_EQ(readFile("REC.hr.txt"), companionBefore);
    EXPECT_EQ(readFile("REC1.hr.txt"), slotCompanionBefore);
    EXPECT_FALSE(exists("REC.undo.hr.txt"));

    // A change made while the record had no companion: the undo leaves it
    // without one again.
    removeCompanion("REC.txt");
    ASSERT_EQ(UndoStore::keep(UndoStore::noSlot), "");
    ASSERT_EQ(writeCompanion("REC.txt", r.companion), "");
    UndoStore::seal();
    ASSERT_EQ(UndoStore::restore(), "");
    EXPECT_FALSE(exists("REC.hr.txt"));
}

}  // namespace
}  // namespace records
