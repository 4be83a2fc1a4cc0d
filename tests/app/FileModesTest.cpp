#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MainWindowRig.h"
#include "app/RecordsFolder.h"
#include "records/Companion.h"
#include "records/UndoStore.h"
#include "tests/support/ScratchDirectory.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
using Key = platform::MainDialog::Key;

int modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// The files in the current folder whose mode is not `mode`, with theirs.
std::vector<std::string> filesNotOfMode(int mode) {
    std::vector<std::string> others;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        const int found = modeOf(entry.path());
        if (entry.is_regular_file() && found != mode) {
            char octal[8];
            std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(found));
            others.push_back(entry.path().filename().string() + " " + octal);
        }
    }
    return others;
}

// Sets the umask for its lifetime.
class Umask {
public:
    explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t previous_;
};

class FileModesTest : public MainWindowTest {};

// Health data stays private: every file the program writes (the recording,
// FILTER's and SAVE's new versions, the undo's copies, what Ctrl+Z puts
// back, a printout to PDF, an EDF+ export and a copy) gets the mode the
// umask gives a new file, and a records folder it creates is its owner's
// alone whatever the umask. A file it replaces is never made wider.
TEST_F(FileModesTest, EveryFileWrittenHasTheModeTheUmaskGives) {
    struct Case {
        mode_t umask;
        int fileMode;
    };
    for (const Case c : {Case{077, 0600}, Case{022, 0644}}) {
        SCOPED_TRACE("umask " + std::to_string(c.umask));
        const testsupport::ScratchDirectory folder;
        const Umask umask(c.umask);
        modal().boxes.clear();
        const auto expectAll = [&](const char* after) {
            EXPECT_EQ(filesNotOfMode(c.fileMode), std::vector<std::string>()) << after;
        };
        open(unpaced());
        startRecording();
        ASSERT_TRUE(pumpUntil([] { return records::countLines("REC.txt") >= 600; }));
        dialog().click(ids::startStop);
        ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
        ASSERT_TRUE(std::filesystem::exists("REC1.hr.txt"));
        expectAll("a recording");

        command(ids::filter);
        ASSERT_TRUE(std::filesystem::exists(records::UndoStore::stateName));
        expectAll("FILTER");
        dialog().pressKey(Key::CtrlZ);
        expectAll("Ctrl+Z of FILTER");
        saveStretch(100, 300);
        ASSERT_TRUE(std::filesystem::exists(records::UndoStore::slotCopyName));
        expectAll("SAVE");
        dialog().pressKey(Key::CtrlZ);
        ASSERT_FALSE(std::filesystem::exists(records::UndoStore::stateName));
        expectAll("Ctrl+Z of SAVE");

        modal().printToPdf = (folder.path() / "strips.pdf").string();
        dialog().pressKey(Key::CtrlP);
        ASSERT_TRUE(pumpUntil([&] { return !controller().printSession().isPrinting(); }));
        // SAVE RECORDED as EDF+, as text, and as EDF+ over a file of the
        // owner's alone, which stays so.
        modal().yes = true;
        for (const auto& [name, type] : {std::pair{"sent.edf", 1}, std::pair{"copy.txt", 0}}) {
            modal().saveAnswer = (folder.path() / name).string();
            modal().saveFilter = type;
            command(ids::saveRecorded);
        }
        std::ofstream("private.edf").close();
        ::chmod("private.edf", 0600);
        modal().saveAnswer = (folder.path() / "private.edf").string();
        modal().saveFilter = 1;
        command(ids::saveRecorded);
        EXPECT_EQ(modeOf("private.edf"), 0600);
        std::filesystem::remove("private.edf");
        for (const char* written : {"strips.pdf", "sent.edf", "copy.txt"}) {
            EXPECT_TRUE(std::filesystem::exists(written)) << written;
        }
        expectAll("a printout, an EDF+ export and a copy");
        EXPECT_TRUE(modal().boxes.empty()) << modal().boxes[0].text;

        shell_.reset();
        dialog_.reset();
        ASSERT_EQ(RecordsFolder(folder.path() / "ecg" / "today").enter(), "");
        EXPECT_EQ(modeOf(folder.path() / "ecg"), 0700);
        EXPECT_EQ(modeOf(folder.path() / "ecg" / "today"), 0700);
    }
}

// A recording made private by its owner stays so: the companion the next
// recording writes beside it is no wider open than the record, whatever
// the umask, and the one left wider by an earlier run is narrowed.
TEST_F(FileModesTest, ACompanionIsNoWiderOpenThanItsRecord) {
    const Umask umask(0);
    std::ofstream("REC.txt") << "-686.7\n";
    std::filesystem::permissions("REC.txt", std::filesystem::perms::owner_read |
                                                std::filesystem::perms::owner_write);
    std::ofstream("REC.hr.txt") << "57.2\n";
    std::filesystem::permissions("REC.hr.txt", std::filesystem::perms::all);
    open(unpaced());
    startRecording();
    ASSERT_TRUE(pumpUntil([] { return records::countLines("REC.hr.txt") >= 50; }));
    EXPECT_EQ(modeOf("REC.hr.txt"), 0600);
    dialog().click(ids::startStop);
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
    EXPECT_EQ(modeOf("REC.txt"), 0600);
    EXPECT_EQ(modeOf("REC.hr.txt"), 0600);
}

}  // namespace
}  // namespace app::test
