#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "acquisition/FrontEndSimulator.h"
#include "app/Shell.h"
#include "platform/Application.h"
#include "platform/MainDialog.h"
#include "platform/ModalService.h"
#include "resources/DialogTemplates.h"
#include "tests/support/ScratchDirectory.h"

namespace app::test {

using namespace std::chrono_literals;

inline platform::Application& application() {
    static int argc = 1;
    static char name[] = "main_window_tests";
    static char* argv[] = {name, nullptr};
    // Kept for the whole process: Qt's own globals go before static objects
    // are destroyed, and a QApplication destroyed after them crashes.
    static platform::Application* app = new platform::Application(argc, argv);
    return *app;
}

// Runs the event loop until `done` holds or the time is up.
template <typename Condition>
bool pumpUntil(Condition done, std::chrono::milliseconds timeout = 60s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        platform::Application::processEvents(5);
    }
    return true;
}

inline void pumpFor(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < end) {
        platform::Application::processEvents(5);
    }
}

// The simulator behind a device whose count, capabilities and accepted
// rates a test chooses.
class ChosenDevice final : public platform::WaveInput {
public:
    explicit ChosenDevice(acquisition::SimulatorSettings settings) : simulator(settings) {}

    unsigned devices = 1;
    std::uint32_t formats = platform::WAVE_FORMAT_ALL;
    platform::MMResult capabilitiesResult = platform::MMSYSERR_NOERROR;
    std::set<std::uint32_t> acceptedRates;  // empty: every rate
    acquisition::FrontEndSimulator simulator;

    unsigned deviceCount() const override { return devices; }
    platform::MMResult capabilities(unsigned, std::uint32_t& f) const override {
        f = formats;
        return capabilitiesResult;
    }
    platform::MMResult query(unsigned device, const platform::WaveFormat& format) const override {
        if (!accepts(format)) {
            return platform::WAVERR_BADFORMAT;
        }
        return simulator.query(device, format);
    }
    platform::MMResult open(std::unique_ptr<platform::WaveInStream>& stream, unsigned device,
                            const platform::WaveFormat& format,
                            platform::WaveSignal& signal) override {
        if (!accepts(format)) {
            return platform::WAVERR_BADFORMAT;
        }
        return simulator.open(stream, device, format, signal);
    }
    std::string errorText(platform::MMResult code, std::size_t maxChars) const override {
        return simulator.errorText(code, maxChars);
    }

private:
    bool accepts(const platform::WaveFormat& format) const {
        return acceptedRates.empty() || acceptedRates.count(format.samplesPerSec) != 0;
    }
};

// Answers every modal interaction and records what would have been shown.
class ScriptedModal final : public platform::ModalService {
public:
    struct Handle final : platform::ModalDialogHandle {
        bool ended = false;
        void end(int) override { ended = true; }
    };

    std::vector<platform::MessageBoxRequest> boxes;
    std::vector<platform::PopupMenuRequest> menus;
    int menuChoice = 0;
    std::vector<int> dialogs;         // template ids
    std::vector<int> dialogCommands;  // what the script presses in a dialog
    bool dialogEnded = false;
    std::vector<std::string> opened;
    std::vector<platform::SaveFileRequest> saveDialogs;
    std::optional<std::string> saveAnswer;  // the path typed, none: cancelled
    int saveFilter = 0;                     // the file type chosen
    std::vector<platform::OpenFileRequest> openDialogs;
    std::optional<std::string> openAnswer;  // the file chosen, none: cancelled
    std::vector<platform::MessageBoxRequest> questions;
    bool yes = false;
    std::vector<platform::PrintRequest> printDialogs;
    std::string printToPdf;  // empty: the print dialog is cancelled
    // Runs while each box, question or dialog is open, as the user reads it.
    std::function<void()> whileShown;

    void openWithDesktop(const std::string& name) override { opened.push_back(name); }

protected:
    void showMessageBox(const platform::MessageBoxRequest& request) override {
        boxes.push_back(request);
        shown();
    }
    int showPopupMenu(const platform::PopupMenuRequest& request) override {
        menus.push_back(request);
        return menuChoice;
    }
    bool showYesNo(const platform::MessageBoxRequest& request) override {
        questions.push_back(request);
        shown();
        return yes;
    }
    std::optional<platform::SaveFileChoice> showSaveFileDialog(
        const platform::SaveFileRequest& request) override {
        saveDialogs.push_back(request);
        shown();
        if (!saveAnswer) {
            return std::nullopt;
        }
        return platform::SaveFileChoice{*saveAnswer, saveFilter};
    }
    std::optional<std::string> showOpenFileDialog(
        const platform::OpenFileRequest& request) override {
        openDialogs.push_back(request);
        shown();
        return openAnswer;
    }
    std::unique_ptr<platform::PrinterSurface> showPrintDialog(
        const platform::PrintRequest& request) override {
        printDialogs.push_back(request);
        shown();
        return printToPdf.empty() ? nullptr : platform::PrinterSurface::pdf(printToPdf);
    }
    int showDialog(const platform::DialogRequest& request) override {
        dialogs.push_back(request.dialogTemplate->id);
        shown();
        Handle handle;
        for (const int id : dialogCommands) {
            if (handle.ended) {
                break;
            }
            request.onCommand(handle, id);
        }
        dialogEnded = handle.ended;
        return 0;
    }

private:
    void shown() const {
        if (whileShown) {
            whileShown();
        }
    }
};

// The real main window offscreen, on a chosen device, in a scratch directory.
class MainWindowTest : public ::testing::Test {
protected:
    static acquisition::SimulatorSettings realTime() { return {}; }
    static acquisition::SimulatorSettings unpaced() {
        acquisition::SimulatorSettings settings;
        settings.speed = 0.0;
        return settings;
    }

    void SetUp() override {
        application();
        auto modal = std::make_unique<ScriptedModal>();
        modal_ = modal.get();
        previous_ = platform::installModalService(std::move(modal));
    }

    void TearDown() override {
        shell_.reset();
        dialog_.reset();
        platform::installModalService(std::move(previous_));
    }

    // Builds the window; `settle` waits for the first start/stop command.
    void open(acquisition::SimulatorSettings settings = realTime(),
              const std::function<void(ChosenDevice&)>& choose = nullptr, bool settle = true) {
        device_ = std::make_unique<ChosenDevice>(settings);
        if (choose) {
            choose(*device_);
        }
        openOn(*device_, settle);
    }
    // Builds the window on `input`.
    void openOn(platform::WaveInput& input, bool settle = true) {
        shell_ = std::make_unique<Shell>(input);
        dialog_ = std::make_unique<platform::MainDialog>(
            resources::mainDialogTemplate(),
            [this](platform::MainDialog& d, const platform::DialogMessage& m) {
                shell_->mainDialogProc(d, m);
            });
        dialog_->show();
        if (settle && shell_->controller() != nullptr) {
            ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
        }
    }

    Controller& controller() { return *shell_->controller(); }
    platform::MainDialog& dialog() { return *dialog_; }
    ScriptedModal& modal() { return *modal_; }

    void command(int id, int code = 0, int value = 0) {
        dialog_->send(platform::DialogMessage::command(id, code, value));
    }
    void barScroll(int request) {
        dialog_->send(platform::DialogMessage::scroll(platform::DialogMessage::Kind::VerticalScroll,
                                                      platform::DialogMessage::windowBar, request,
                                                      0));
    }
    void startRecording() {
        dialog_->click(resources::ids::startStop);
        ASSERT_FALSE(controller().idle);
    }
    // Drags across the first strip from `fromX` to `toX` (from its left
    // edge) and chooses "SAVE" in the context menu.
    void saveStretch(int fromX, int toX) {
        using Mouse = platform::MainDialog::Mouse;
        const auto& r = controller().pane(0).homeRect;
        const int y = (r.top + r.bottom) / 2;
        dialog_->mouse(Mouse::Press, r.left + fromX, y);
        dialog_->mouse(Mouse::Move, r.left + fromX, y);
        dialog_->mouse(Mouse::Move, r.left + toX, y);
        dialog_->mouse(Mouse::Release, r.left + toX, y);
        modal().menuChoice = 1;
        platform::DialogMessage menu;
        menu.kind = platform::DialogMessage::Kind::ContextMenu;
        dialog_->send(menu);
    }

    testsupport::ScratchDirectory scratch_;
    std::unique_ptr<ChosenDevice> device_;
    std::unique_ptr<Shell> shell_;
    std::unique_ptr<platform::MainDialog> dialog_;

private:
    ScriptedModal* modal_ = nullptr;
    std::unique_ptr<platform::ModalService> previous_;
};

}  // namespace app::test
