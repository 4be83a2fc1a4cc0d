#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "MainWindowRig.h"
#include "platform/ReplacementFile.h"
#include "records/RecordTime.h"
#include "records/UndoStore.h"
#include "resources/DialogTemplates.h"
#include "tests/support/RecordText.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/SyntheticRecording.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
using Key = platform::MainDialog::Key;

std::string bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file as an undo must give it back: its bytes and its time.
struct Snapshot {
    std::string content;
    long long seconds = 0;
    long nanoseconds = 0;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const std::string& path) {
    const auto time = records::modificationTime(path);
    return {bytes(path), time ? static_cast<long long>(time->tv_sec) : -1,
            time ? time->tv_nsec : -1};
}

void writeRecording(const std::string& path, int count, long long seconds) {
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < count; ++i) {
            out << 57.2 + (i % 49 == 0 ? 8.0 : 0.0) + (i % 2 == 0 ? 744.0 : -744.0) << " \n";
        }
    }
    testsupport::setModificationTime(path, {static_cast<std::time_t>(seconds), 123456789});
}

class UndoTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        writeRecording("REC.txt", 900, 1'700'000'000);
        writeRecording("REC2.txt", 300, 1'600'000'000);
    }
    int shownCount() { return controller().pane(0).record().count; }
};

// One slip of the mouse with SAVE, then Ctrl+Z: the working recording and the
// slot are back byte for byte, with their times, and shown again.
TEST_F(UndoTest, CtrlZPutsBackWhatSaveAndFilterReplaced) {
    open();
    // The start-up copy put the working recording into slot 1.
    const Snapshot record = snapshot("REC.txt");
    const Snapshot slot = snapshot("REC1.txt");
    ASSERT_EQ(record.seconds, 1'700'000'000);
    ASSERT_EQ(testsupport::readRecordValues("REC1.txt").size(), 900u);

    saveStretch(100, 300);
    ASSERT_LT(testsupport::readRecordValues("REC.txt").size(), 200u);
    ASSERT_NE(snapshot("REC1.txt"), slot);
    EXPECT_TRUE(std::filesystem::exists(records::UndoStore::recordCopyName));
    dialog().pressKey(Key::CtrlZ);
    EXPECT_EQ(snapshot("REC.txt"), record);
    EXPECT_EQ(snapshot("REC1.txt"), slot);
    EXPECT_EQ(shownCount(), 900);
    // One level: a second Ctrl+Z has nothing left to put back.
    EXPECT_FALSE(records::UndoStore::available());
    dialog().pressKey(Key::CtrlZ);
    EXPECT_EQ(snapshot("REC.txt"), record);

    command(ids::filter);
    ASSERT_NE(snapshot("REC.txt"), record);
    dialog().pressKey(Key::CtrlZ);
    EXPECT_EQ(snapshot("REC.txt"), record);
    EXPECT_EQ(snapshot("REC1.txt"), slot);
    EXPECT_TRUE(modal().boxes.empty());
}

// The copies live on disk: a program that was closed (or crashed) after SAVE
// can still undo it. A slot load or a new recording ends the undo.
TEST_F(UndoTest, TheUndoOutlivesARestartAndEndsWithASlotLoadOrARecording) {
    open();
    const Snapshot record = snapshot("REC.txt");
    saveStretch(100, 300);
    shell_.reset();
    dialog_.reset();
    open();
    dialog().pressKey(Key::CtrlZ);
    EXPECT_EQ(snapshot("REC.txt"), record);

    command(ids::filter);
    command(ids::firstSlot + 1);  // slot 2 loaded over the filtered recording
    const Snapshot loaded = snapshot("REC.txt");
    dialog().pressKey(Key::CtrlZ);
    EXPECT_EQ(snapshot("REC.txt"), loaded);

    command(ids::filter);
    startRecording();
    dialog().pressKey(Key::CtrlZ);  // nothing while recording
    pumpFor(300ms);
    dialog().click(ids::startStop);
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
    const Snapshot recorded = snapshot("REC.txt");
    dialog().pressKey(Key::CtrlZ);
    EXPECT_EQ(snapshot("REC.txt"), recorded);
    EXPECT_FALSE(std::filesystem::exists(records::UndoStore::recordCopyName));
}

// Without the copy there is no way back, so nothing is changed.
TEST_F(UndoTest, SaveAndFilterAreRefusedWhenTheCopyCannotBeWritten) {
    std::filesystem::create_directory(records::UndoStore::recordCopyName);
    std::ofstream(std::string(records::UndoStore::recordCopyName) + "/keep") << "x";
    open();
    const Snapshot record = snapshot("REC.txt");
    const Snapshot slot = snapshot("REC1.txt");
    command(ids::filter);
    saveStretch(100, 300);
    EXPECT_EQ(snapshot("REC.txt"), record);
    EXPECT_EQ(snapshot("REC1.txt"), slot);
    ASSERT_EQ(modal().boxes.size(), 2u);
    EXPECT_EQ(modal().boxes[0].caption, "FILTER");
    EXPECT_NE(modal().boxes[0].text.find("Ctrl+Z"), std::string::npos);
    EXPECT_EQ(modal().boxes[1].caption, "SAVE");
    EXPECT_NE(modal().boxes[1].text.find("not changed"), std::string::npos);
}

// FILTER whose companion cannot follow its record (a rename refused after
// the record's): the box says what was stored and that Ctrl+Z puts the
// recording back, and Ctrl+Z does, companion and facts included.
TEST_F(UndoTest, AFilterStoredOnlyInPartIsUndone) {
    ASSERT_TRUE(testsupport::storeRecording("REC.txt", testsupport::makeLines(300)));
    open();
    modal().boxes.clear();
    const Snapshot record = snapshot("REC.txt");
    const std::string companion = bytes("REC.hr.txt");
    const std::string facts = bytes("REC.info.txt");
    // The undo's copy (intent, record, companion, facts), its state, the
    // promise, FILTER's intent and its record go through.
    using platform::ReplacementFile;
    ReplacementFile::failStepForTests(ReplacementFile::Step::Rename, ENOSPC, 8);
    command(ids::filter);
    ReplacementFile::failStepForTests(std::nullopt);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_NE(modal().boxes[0].text.find("Ctrl+Z puts the recording back"), std::string::npos)
        << modal().boxes[0].text;
    ASSERT_NE(snapshot("REC.txt"), record);
    EXPECT_FALSE(std::filesystem::exists("REC.hr.txt"));

    dialog().pressKey(Key::CtrlZ);
    EXPECT_EQ(snapshot("REC.txt"), record);
    EXPECT_EQ(bytes("REC.hr.txt"), companion);
    EXPECT_EQ(bytes("REC.info.txt"), facts);
    EXPECT_EQ(modal().boxes.size(), 1u);
}

}  // namespace
}  // namespace app::test
