#include "app/Controller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "acquisition/FrontEndSimulator.h"
#include "platform/Application.h"
#include "platform/CaptureWindow.h"
#include "tests/support/ScratchDirectory.h"

namespace app {
namespace {

using namespace std::chrono_literals;

platform::Application& application() {
    static int argc = 1;
    static char name[] = "controller_tests";
    static char* argv[] = {name, nullptr};
    static platform::Application app(argc, argv);
    return app;
}

// Runs the event loop until `done` holds or the time is up.
template <typename Condition>
bool pumpUntil(Condition done, std::chrono::seconds timeout = 60s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        platform::Application::processEvents(5);
    }
    return true;
}

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        acquisition::SimulatorSettings settings;
        settings.speed = 0.0;
        simulator_ = std::make_unique<acquisition::FrontEndSimulator>(settings);
    }
    void start() {
        window_ = std::make_unique<platform::CaptureWindow>("title", "notice");
        controller_ = std::make_unique<Controller>(*simulator_, *window_);
        // The posted first start/stop command takes the stop path.
        ASSERT_TRUE(pumpUntil([&] { return controller_->idle(); }));
    }
    void TearDown() override {
        controller_.reset();
        window_.reset();
    }
    static void write(const std::string& name, const std::string& text) {
        std::ofstream(name, std::ios::binary) << text;
    }

    testsupport::ScratchDirectory scratch_;
    std::unique_ptr<acquisition::FrontEndSimulator> simulator_;
    std::unique_ptr<platform::CaptureWindow> window_;
    std::unique_ptr<Controller> controller_;
};

TEST_F(ControllerTest, StartUpStoresThePreviousRecordingInSlotOne) {
    write("REC.txt", "1.5\n-2\n");
    start();
    EXPECT_EQ(testsupport::readFile("REC1.txt"), "1.500000 \n-2.000000 \n");
    // Pane 0 holds what was loaded, and the paper is drawn.
    EXPECT_EQ(controller_->pane(0).record().count, 2);
    EXPECT_EQ(controller_->pane(4).surface().pixel(20, 50), (platform::Rgb{255, 150, 150}));
}

TEST_F(ControllerTest, StartUpWithoutAWorkingRecordingKeepsTheSlot) {
    write("REC1.txt", "57.200000 \n");
    start();
    EXPECT_EQ(testsupport::readFile("REC1.txt"), "57.200000 \n");
    EXPECT_FALSE(std::filesystem::exists("REC.txt"));
}

TEST_F(ControllerTest, StartStopRecordsAndStoresInTheSlot) {
    start();
    controller_->command(platform::CaptureWindow::startStopId, 0, 0);
    EXPECT_FALSE(controller_->idle());
    ASSERT_TRUE(pumpUntil([&] { return controller_->painter().processedBuffers() > 100; }));
    controller_->command(platform::CaptureWindow::startStopId, 0, 0);
    EXPECT_TRUE(controller_->idle());
    const std::string stored = testsupport::readFile("REC.txt");
    EXPECT_GT(stored.size(), 90u * 11);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), stored);
}

TEST_F(ControllerTest, AnUnstoppedRecordingEndsItselfAndIsStored) {
    start();
    controller_->command(platform::CaptureWindow::startStopId, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return controller_->idle(); }, 180s));
    EXPECT_EQ(controller_->painter().processedBuffers(), 7 * 461 + 6);
    const std::string stored = testsupport::readFile("REC.txt");
    EXPECT_EQ(std::count(stored.begin(), stored.end(), '\n'), 7 * 461 - 5);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), stored);
}

TEST_F(ControllerTest, TheWorkersStopRequestNeverStartsARecording) {
    start();
    controller_->command(platform::CaptureWindow::startStopId, 0,
                         acquisition::Painter::automaticStop);
    EXPECT_TRUE(controller_->idle());
    EXPECT_FALSE(controller_->painter().isRecording());
}

TEST_F(ControllerTest, ClosingWhileRecordingStopsCleanly) {
    start();
    controller_->command(platform::CaptureWindow::startStopId, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return controller_->painter().processedBuffers() > 20; }));
    const auto before = std::chrono::steady_clock::now();
    controller_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2500ms);
}

TEST_F(ControllerTest, TheWindowOutlivesTheControllerSafely) {
    start();
    controller_->command(platform::CaptureWindow::startStopId, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return controller_->painter().processedBuffers() > 20; }));
    // Closing destroys the controller while the window and its event loop go
    // on for a moment: nothing may still show the panes that went with it.
    controller_.reset();
    const auto end = std::chrono::steady_clock::now() + 200ms;
    while (std::chrono::steady_clock::now() < end) {
        platform::Application::processEvents(5);
    }
    EXPECT_TRUE(window_->saveScreenshot((scratch_.path() / "after.png").string()));
}

}  // namespace
}  // namespace app
