#include "records/PartialSave.h"
#include "tests/support/KeepLines.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "records/SampleFile.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace records {
namespace {

using Names = std::vector<std::string>;
using Lines = std::pair<int, int>;

// Any left edge will do: only the offsets from it count.
constexpr int paneLeft = 12;
constexpr double speedFactor = 2.08;

Lines marked(SelectionEnd a, SelectionEnd b, int paneWidth = 960) {
    const LineRange range = markedLines(a, b, paneWidth, paneLeft, speedFactor);
    return {range.first, range.last};
}

TEST(MarkedLinesTest, DragAcrossPanesInEitherDirection) {
    const SelectionEnd press{0, paneLeft + 20};
    const SelectionEnd release{1, paneLeft + 40};
    EXPECT_EQ(marked(press, release), Lines(9, 480));
    EXPECT_EQ(marked(release, press), Lines(9, 480));
    // The real panes are two pixels narrower.
    EXPECT_EQ(marked(press, release, 958), Lines(9, 479));
    EXPECT_EQ(marked(release, press, 958), Lines(9, 479));
    // Strips scrolled down by three panes: the same drag, three panes on.
    EXPECT_EQ(marked({3, paneLeft + 20}, {4, paneLeft + 40}), Lines(1394, 1865));
}

TEST(MarkedLinesTest, WithinOnePane) {
    // Dragged leftward, the stretch is the same as dragged rightward.
    EXPECT_EQ(marked({2, paneLeft + 30}, {2, paneLeft + 100}), Lines(937, 971));
    EXPECT_EQ(marked({2, paneLeft + 100}, {2, paneLeft + 30}), Lines(937, 971));
    // A click keeps the one line numbered start.
    EXPECT_EQ(marked({0, paneLeft + 20}, {0, paneLeft + 20}), Lines(9, 9));
    // Lines count from 1: a start of 0 keeps the first line, a click there nothing.
    EXPECT_EQ(marked({0, paneLeft}, {0, paneLeft + 40}), Lines(1, 19));
    EXPECT_TRUE(markedLines({0, paneLeft}, {0, paneLeft}, 958, paneLeft, speedFactor).empty());
}

class KeepLinesTest : public testsupport::ScratchDirectoryTest {
protected:
    // Twelve lines in the slot form, one of them still marked by the capture.
    static constexpr const char* record =
        "1.250000 \n2.250000 \n801.300000 \n4.250000 \n5.250000 \n6.250000 \n"
        "7.250000 \n8.250000 \n9.250000 \n10.250000 \n11.250000 \n12.250000 \n";
};

TEST_F(KeepLinesTest, KeepsTheRangeAsPlainLines) {
    writeFile("REC.txt", record);
    // A reader left halfway through: the copy still starts at the first line.
    SampleFile::openRead("REC.txt");
    std::string line;
    ASSERT_TRUE(SampleFile::readLine(line) && SampleFile::readLine(line));

    const PartialSaveOutcome outcome = keepLines({3, 5});
    EXPECT_EQ(outcome.status, PartialSaveOutcome::Status::Saved);
    EXPECT_EQ(outcome.kept, 3);
    EXPECT_EQ(readFile("REC.txt"), "801.300000\n4.250000\n5.250000\n");
    EXPECT_FALSE(SampleFile::isOpen());
    EXPECT_EQ(entries(), (Names{"REC.txt"}));

    // A range running past the end keeps the rest.
    const PartialSaveOutcome rest = keepLines({2, 40});
    EXPECT_EQ(rest.status, PartialSaveOutcome::Status::Saved);
    EXPECT_EQ(rest.kept, 2);
    EXPECT_EQ(readFile("REC.txt"), "4.250000\n5.250000\n");
}

TEST_F(KeepLinesTest, NothingToKeepLeavesTheRecord) {
    writeFile("REC.txt", record);
    for (const LineRange range : {LineRange{5, 4}, LineRange{1, 0}, LineRange{13, 20}}) {
        EXPECT_EQ(keepLines(range).status, PartialSaveOutcome::Status::Empty)
            << range.first << " to " << range.last;
        EXPECT_EQ(readFile("REC.txt"), record);
        EXPECT_EQ(entries(), (Names{"REC.txt"}));
    }
    std::filesystem::remove("REC.txt");
    EXPECT_EQ(keepLines({1, 5}).status, PartialSaveOutcome::Status::Empty);
    EXPECT_EQ(entries(), Names{});
}

TEST_F(KeepLinesTest, UncreatableTemporaryLeavesTheRecord) {
    writeFile("REC.txt", record);
    std::filesystem::create_directory("tmppt.txt");
    writeFile("tmppt.txt/inside", "x");
    const PartialSaveOutcome outcome = keepLines({3, 5});
    EXPECT_EQ(outcome.status, PartialSaveOutcome::Status::Failed);
    EXPECT_NE(outcome.reason, "");
    EXPECT_EQ(readFile("REC.txt"), record);
    EXPECT_FALSE(SampleFile::isOpen());
}

}  // namespace
}  // namespace records
