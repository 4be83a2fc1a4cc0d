#pragma once

#include <memory>

#include "CommandHandling.h"
#include "Controller.h"
#include "platform/DialogMessage.h"
#include "platform/MainDialog.h"
#include "platform/WaveInput.h"

namespace app {

// The main dialog's procedure and the state kept beside it: the Controller,
// created when the window initialises and destroyed when it closes, and the
// flags of the mouse selection. Everything here runs on the user-interface
// thread.
class Shell {
public:
    explicit Shell(platform::WaveInput& input);
    ~Shell();
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;

    void mainDialogProc(platform::MainDialog& dialog, const platform::DialogMessage& message);

    // Null before the window initialises, when that failed, and after close.
    Controller* controller() { return controller_.get(); }
    bool gridPending() const { return gridPending_; }
    bool selecting() const { return selecting_; }
    bool paneScrollRoute() const { return paneScrollRoute_; }
    // Tears the Controller down (stopping the worker) if it still exists.
    void destroyController();

private:
    void dispatch(platform::MainDialog& dialog, const platform::DialogMessage& message);
    void initDialog(platform::MainDialog& dialog);
    void closeDialog(platform::MainDialog& dialog);
    void contextMenu(const platform::DialogMessage& message);
    void verticalScroll(const platform::DialogMessage& message);
    void leftButtonDown(const platform::DialogMessage& message);
    void leftButtonUp(const platform::DialogMessage& message);
    void mouseMove(platform::MainDialog& dialog, const platform::DialogMessage& message);

    platform::WaveInput& input_;
    std::unique_ptr<Controller> controller_;
    std::unique_ptr<CommandHandling> commands_;
    bool gridPending_ = false;
    bool selecting_ = false;
    bool paneScrollRoute_ = false;
    // How many messages are being handled now (more than one when a handler
    // sends another, or a box's event loop delivers one), and a close that
    // came meanwhile: it is carried out once the first of them has returned,
    // so that no handler finds its objects gone.
    int handling_ = 0;
    bool closePending_ = false;
};

}  // namespace app
