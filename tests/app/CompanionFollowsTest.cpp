#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "MainWindowRig.h"
#include "records/Companion.h"
#include "records/RecordEncoding.h"
#include "tests/support/RecordText.h"
#include "tests/support/RecordingFiles.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
using Key = platform::MainDialog::Key;

std::string bytes(const std::string& path) {
    return testsupport::readFile(path);
}

std::vector<double> decoded(const std::string& record) {
    std::vector<double> values = testsupport::readRecordValues(record);
    records::decodeRecord(values);
    return values;
}

// The record's lines, and whether its companion has as many and belongs to
// it, by the identities its facts name.
::testing::AssertionResult companionBelongs(const std::string& record) {
    const std::vector<double> values = decoded(record);
    const std::size_t lines = records::countLines(records::companionPath(record));
    if (values.empty() || lines != values.size()) {
        return ::testing::AssertionFailure()
               << record << " has " << values.size() << " lines, its companion " << lines;
    }
    const records::StoredRecording stored = testsupport::readStored(record);
    if (!stored.identified || stored.companion.size() != values.size() * 10) {
        return ::testing::AssertionFailure()
               << "the facts of " << record << " do not name it and its companion";
    }
    return ::testing::AssertionSuccess();
}

class CompanionFollowsTest : public MainWindowTest {
protected:
    // A recording from the unpaced simulator until the worker stops it.
    void record() {
        startRecording();
        ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
    }
};

// Every step that rewrites a record rewrites its companion with it: after a
// recording, SAVE of a stretch, FILTER, Ctrl+Z and a slot load the two have
// the same number of lines and every line's mean agrees with its value.
TEST_F(CompanionFollowsTest, EveryChangeOfTheRecordKeepsItsCompanionInStep) {
    open(unpaced());
    record();
    ASSERT_GT(decoded("REC.txt").size(), 1000u);
    EXPECT_TRUE(companionBelongs("REC.txt"));
    EXPECT_TRUE(companionBelongs("REC1.txt"));
    EXPECT_TRUE(bytes("REC1.hr.txt") == bytes("REC.hr.txt"));
    const std::string recorded = bytes("REC.hr.txt");

    saveStretch(100, 400);
    const std::size_t kept = decoded("REC.txt").size();
    ASSERT_GT(kept, 50u);
    ASSERT_LT(kept, 400u);
    EXPECT_TRUE(companionBelongs("REC.txt"));
    EXPECT_TRUE(companionBelongs("REC1.txt"));
    dialog().pressKey(Key::CtrlZ);
    EXPECT_TRUE(bytes("REC.hr.txt") == recorded);
    EXPECT_TRUE(bytes("REC1.hr.txt") == recorded);

    command(ids::filter);
    EXPECT_TRUE(companionBelongs("REC.txt"));
    EXPECT_FALSE(bytes("REC.hr.txt") == recorded);
    dialog().pressKey(Key::CtrlZ);
    EXPECT_TRUE(bytes("REC.hr.txt") == recorded);

    command(ids::filter);
    command(ids::firstSlot);  // slot 1 loaded over the filtered recording
    EXPECT_TRUE(bytes("REC.hr.txt") == recorded);
    EXPECT_TRUE(companionBelongs("REC.txt"));
    EXPECT_TRUE(modal().boxes.empty());
}

// A program killed between a companion line and its value leaves the
// companion a line (and part of the next) ahead; the next start-up cuts it
// back and stores both in slot 1, ending on the same line.
TEST_F(CompanionFollowsTest, TheStartUpCutsACompanionLeftAheadByAKill) {
    open(unpaced());
    record();
    const std::size_t lines = decoded("REC.txt").size();
    shell_.reset();
    dialog_.reset();
    {
        std::ofstream ahead("REC.hr.txt", std::ios::app);
        ahead << "57.1 57.2 57.3 57.4 57.5 57.6 57.7 57.8 57.9 58.0\n57.1 57.2 5";
    }
    std::remove("REC1.hr.txt");
    open(unpaced());
    EXPECT_EQ(records::countLines("REC.hr.txt"), lines);
    EXPECT_TRUE(companionBelongs("REC.txt"));
    EXPECT_TRUE(companionBelongs("REC1.txt"));
}

}  // namespace
}  // namespace app::test
