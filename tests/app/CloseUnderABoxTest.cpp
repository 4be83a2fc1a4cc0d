#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QWidget>
#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

#include "MainWindowRig.h"
#include "platform/QtModalService.h"
#include "platform/ReplacementFile.h"
#include "resources/DialogTemplates.h"

// The window closed while a command's box or dialog is open: by a polite
// kill (SIGTERM, as a logout sends it) or by its close button, either
// arriving inside the box's own event loop. The box is dismissed, and so is
// any its command opens next; the close is carried out once the command has
// returned, so nothing is destroyed under it: the program ends with 0, and
// the working recording is whole.

namespace app::test {
namespace {

namespace ids = resources::ids;
using Step = platform::ReplacementFile::Step;

enum class Way { Signal, CloseButton };

long long lines(const std::string& name) {
    const std::string text = testsupport::readFile(name);
    return std::count(text.begin(), text.end(), '\n');
}

void writeRecord(const std::string& name, int count) {
    std::ofstream out(name, std::ios::binary);
    for (int i = 0; i < count; ++i) {
        out << 57.2 + (i % 40 == 0 ? 6.0 : 0.0) + (i % 2 == 0 ? 744.0 : -744.0) << " \n";
    }
}

class CloseUnderABoxTest : public MainWindowTest,
                           public ::testing::WithParamInterface<std::tuple<const char*, Way>> {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        application().onTerminationRequest([this] {
            if (dialog_) {
                dialog_->close();
            }
        });
    }
    void TearDown() override {
        application().onTerminationRequest(nullptr);
        platform::ReplacementFile::failStepForTests(std::nullopt);
        MainWindowTest::TearDown();
    }

    std::string box() const { return std::get<0>(GetParam()); }

    void askToClose() {
        closeAsked_ = true;
        if (std::get<1>(GetParam()) == Way::Signal) {
            ::kill(::getpid(), SIGTERM);
            return;
        }
        // The close button sends the window a close event.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->windowTitle().toStdString() == dialog().title()) {
                widget->close();
            }
        }
    }

    // The scripted box runs an event loop, as a real one does, until the
    // close has dismissed it.
    void closeWhileShown() {
        modal().whileShown = [this] {
            if (!closeAsked_) {
                askToClose();
                EXPECT_TRUE(pumpUntil([] { return platform::dismissing(); }, 5s));
            }
        };
    }

    // The program's loop, as main() runs it, until the close ends it.
    void expectCleanEnd() {
        platform::Application::postAfter(20000, [] { platform::Application::postQuit(99); });
        EXPECT_EQ(application().exec(), 0);
        EXPECT_TRUE(closeAsked_);
        EXPECT_EQ(shell_->controller(), nullptr);
        EXPECT_TRUE(dialog().isDestroyed());
        EXPECT_FALSE(platform::dismissing());
    }

    bool closeAsked_ = false;
};

TEST_P(CloseUnderABoxTest, EndsWithZeroAndTheRecordingWhole) {
    writeRecord("REC.txt", 600);
    writeRecord("REC1.txt", 600);
    const std::string before = testsupport::readFile("REC.txt");
    open();
    closeWhileShown();
    if (box() == "stop box of a full disk") {
        // Real boxes: the disk's, and the slot's after it, which the close
        // must not let run the close inside its own loop.
        const auto scripted =
            platform::installModalService(std::make_unique<platform::QtModalService>());
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limit = previous;
        limit.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &limit);
        // The recording's facts are written; the slot's copy fails.
        platform::ReplacementFile::failStepForTests(Step::Write, ENOSPC, 1);
        startRecording();
        std::function<void()> watch = [&] {
            if (QApplication::activeModalWidget() != nullptr) {
                askToClose();
            } else if (!closeAsked_) {
                platform::Application::postAfter(50, watch);
            }
        };
        watch();
        expectCleanEnd();
        setrlimit(RLIMIT_FSIZE, &previous);
        EXPECT_GT(lines("REC.txt"), 0);
        EXPECT_EQ(testsupport::readFile("REC.txt").back(), '\n');
        return;
    }
    if (box() == "FILTER's failure") {
        platform::ReplacementFile::failStepForTests(Step::Write, ENOSPC);
        command(ids::filter);
        ASSERT_EQ(modal().boxes.size(), 1u);
        EXPECT_EQ(modal().boxes[0].caption, "FILTER");
    } else if (box() == "SAVE's failure") {
        platform::ReplacementFile::failStepForTests(Step::Write, ENOSPC);
        saveStretch(100, 400);
        ASSERT_EQ(modal().boxes.size(), 1u);
        EXPECT_EQ(modal().boxes[0].caption, "SAVE");
    } else if (box() == "SAVE RECORDED's file dialog") {
        command(ids::saveRecorded);
        EXPECT_EQ(modal().saveDialogs.size(), 1u);
    } else if (box() == "print dialog") {
        // Cancelled by the close, it is followed by a box of its own.
        command(ids::printGraph);
        EXPECT_EQ(modal().printDialogs.size(), 1u);
        EXPECT_TRUE(modal().boxes.empty());
    } else if (box() == "cancel dialog of a print") {
        modal().whileShown = nullptr;
        modal().printToPdf = (scratch_.path() / "strips.pdf").string();
        command(ids::printGraph);
        ASSERT_NE(controller().printSession().cancelDialog(), nullptr);
        askToClose();
    } else if (box() == "file dialog of Ctrl+O") {
        dialog().pressKey(platform::MainDialog::Key::CtrlO);
        EXPECT_EQ(modal().openDialogs.size(), 1u);
        EXPECT_FALSE(controller().decoding());
    } else if (box() == "About box, recording") {
        modal().whileShown = nullptr;
        startRecording();
        ASSERT_TRUE(pumpUntil([&] { return controller().painter().processedBuffers() > 10; }));
        closeWhileShown();
        command(ids::aboutButton);
        EXPECT_EQ(modal().dialogs.size(), 1u);
        expectCleanEnd();
        // Every value stored until the close is whole.
        EXPECT_GE(lines("REC.txt"), 9);
        EXPECT_EQ(testsupport::readFile("REC.txt").back(), '\n');
        return;
    }
    expectCleanEnd();
    EXPECT_EQ(testsupport::readFile("REC.txt"), before);
}

INSTANTIATE_TEST_SUITE_P(
    EveryBox, CloseUnderABoxTest,
    ::testing::Combine(::testing::Values("stop box of a full disk", "FILTER's failure",
                                         "SAVE's failure", "SAVE RECORDED's file dialog",
                                         "print dialog", "cancel dialog of a print",
                                         "file dialog of Ctrl+O", "About box, recording"),
                       ::testing::Values(Way::Signal, Way::CloseButton)),
    [](const ::testing::TestParamInfo<std::tuple<const char*, Way>>& info) {
        std::string name;
        for (const char c : std::string(std::get<0>(info.param))) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name + (std::get<1>(info.param) == Way::Signal ? "_SIGTERM" : "_CloseButton");
    });

}  // namespace
}  // namespace app::test
