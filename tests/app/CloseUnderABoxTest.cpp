#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <csignal>
#include <fstream>
#include <map>

#include "MainWindowRig.h"
#include "platform/ReplacementFile.h"
#include "records/StoredRecording.h"

// The window closed while a command's box or dialog is open, by SIGTERM (a
// logout) or its close button, in the box's event loop: the box and any its
// command opens next are dismissed, and the close waits for the command to
// return. The program ends with 0, the recording whole.

namespace app::test {
namespace {

namespace ids = resources::ids;

class CloseUnderABoxTest : public MainWindowTest,
                           public ::testing::WithParamInterface<std::tuple<const char*, bool>> {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        application().onTerminationRequest([this] { dialog_->close(); });
        getrlimit(RLIMIT_FSIZE, &fileSize_);
    }
    void TearDown() override {
        application().onTerminationRequest(nullptr);
        platform::ReplacementFile::failStepForTests(std::nullopt);
        setrlimit(RLIMIT_FSIZE, &fileSize_);
        MainWindowTest::TearDown();
    }
    void askToClose() {
        asked_ = true;
        if (std::get<1>(GetParam())) {
            ::kill(::getpid(), SIGTERM);
            return;
        }
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->windowTitle().toStdString() == dialog().title()) {
                window->close();  // as its close button does
            }
        }
    }
    void failWrites(int passing = 0) {
        platform::ReplacementFile::failStepForTests(platform::ReplacementFile::Step::Write, ENOSPC,
                                                    passing);
    }

    bool asked_ = false;
    rlimit fileSize_{};
};

TEST_P(CloseUnderABoxTest, EndsWithZeroAndTheRecordingWhole) {
    {
        std::ofstream record("REC.txt");
        for (int i = 0; i < 300; ++i) {
            record << (i % 2 == 0 ? "801.2 \n" : "-686.8 \n");
        }
    }
    open();
    const std::string before = testsupport::readFile("REC.txt");
    // Each box runs an event loop, as a real one does, until it is dismissed.
    modal().whileShown = [this] {
        if (!asked_) {
            askToClose();
        }
        EXPECT_TRUE(pumpUntil([] { return platform::dismissing(); }, 5s));
    };
    const std::string box = std::get<0>(GetParam());
    const std::map<std::string, std::function<void()>> commands = {
        // The worker's stop shows the disk's box, then the slot's.
        {"FullDiskStop",
         [&] {
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit limit = fileSize_;
             limit.rlim_cur = 1000;
             setrlimit(RLIMIT_FSIZE, &limit);
             failWrites(1);  // past the recording's facts
             startRecording();
         }},
        {"FilterFailed", [&] { failWrites(), command(ids::filter); }},
        {"SaveFailed", [&] { failWrites(), saveStretch(10, 300); }},
        {"SaveRecordedDialog", [&] { command(ids::saveRecorded); }},
        {"PrintDialog", [&] { command(ids::printGraph); }},
        {"OpenToneDialog", [&] { dialog().pressKey(platform::MainDialog::Key::CtrlO); }},
        {"AboutWhileRecording",
         [&] {
             startRecording();
             pumpUntil([&] { return controller().painter().processedBuffers() > 10; });
             command(ids::aboutButton);
         }},
    };
    commands.at(box)();
    platform::Application::postAfter(20000, [] { platform::Application::postQuit(99); });
    EXPECT_EQ(application().exec(), 0);
    EXPECT_TRUE(asked_);
    EXPECT_EQ(shell_->controller(), nullptr);
    // Only the box the close came in was shown (a cancelled print dialog and
    // a full disk's box are followed by others).
    const bool inABox = box.find("Failed") != std::string::npos || box == "FullDiskStop";
    EXPECT_EQ(modal().boxes.size(), inABox ? 1u : 0u);
    const std::string after = testsupport::readFile("REC.txt");
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back(), '\n');
    EXPECT_TRUE(after == before || box == "FullDiskStop" || box == "AboutWhileRecording");
    if (box == "AboutWhileRecording") {
        // Cut short, the recording's facts are completed as a stop completes
        // them: the buffers skipped before its first line, and the record and
        // companion they describe.
        records::StoredRecording recording;
        ASSERT_EQ(records::readRecording("REC.txt", {}, recording), "");
        EXPECT_TRUE(recording.identified);
        EXPECT_FALSE(recording.facts.skippedAfterLines.empty());
        EXPECT_FALSE(recording.companion.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBox, CloseUnderABoxTest,
                         ::testing::Combine(::testing::Values("FullDiskStop", "FilterFailed",
                                                              "SaveFailed", "SaveRecordedDialog",
                                                              "PrintDialog", "OpenToneDialog",
                                                              "AboutWhileRecording"),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) +
                                    (std::get<1>(info.param) ? "_SIGTERM" : "_CloseButton");
                         });

}  // namespace
}  // namespace app::test
