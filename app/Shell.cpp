#include "Shell.h"

#include "PaneScrolling.h"
#include "Selection.h"
#include "platform/Application.h"
#include "platform/ModalService.h"
#include "platform/WinException.h"

namespace app {

using platform::DialogMessage;
using Kind = platform::DialogMessage::Kind;

namespace {

constexpr int stripBarMaximum = 19;
constexpr int stripBarPage = 5;
constexpr int saveCommand = 1;

void exceptionBox(const std::string& text) {
    platform::modalService().messageBox({text, "Exception", platform::BoxIcon::Warning});
}

}  // namespace

Shell::Shell(platform::WaveInput& input) : input_(input) {}

Shell::~Shell() {
    destroyController();
}

void Shell::mainDialogProc(platform::MainDialog& dialog, const DialogMessage& message) {
    if (message.kind == Kind::Close && handling_ > 0) {
        closePending_ = true;
        return;
    }
    if (message.kind == Kind::Command && platform::modalActive()) {
        // A command that reached the window past an open box (the box's
        // caller runs on when it closes) waits for the box, as the ones the
        // program posts do.
        dialog.post(message);
        return;
    }
    ++handling_;
    dispatch(dialog, message);
    --handling_;
    if (handling_ == 0 && closePending_) {
        closePending_ = false;
        closeDialog(dialog);
    }
}

void Shell::dispatch(platform::MainDialog& dialog, const DialogMessage& message) {
    if (message.kind == Kind::InitDialog) {
        initDialog(dialog);
        return;
    }
    if (message.kind == Kind::Size) {
        dialog.setBarRange(0, stripBarMaximum, stripBarPage);
        return;
    }
    if (message.kind == Kind::Close) {
        closeDialog(dialog);
        return;
    }
    if (!controller_) {
        // A window whose initialisation failed has nothing to act on.
        return;
    }
    switch (message.kind) {
        case Kind::ContextMenu:
            contextMenu(message);
            break;
        case Kind::Command:
            commands_->handleCommand(message.id, message.code, message.value);
            break;
        case Kind::HorizontalScroll:
            commands_->handleBlockScroll(message.code, message.value);
            break;
        case Kind::VerticalScroll:
            verticalScroll(message);
            break;
        case Kind::LeftButtonDown:
            leftButtonDown(message);
            break;
        case Kind::LeftButtonUp:
            leftButtonUp(message);
            break;
        case Kind::MouseMove:
            mouseMove(dialog, message);
            break;
        case Kind::Drop:
            commands_->handleDrop();
            break;
        default:
            break;
    }
}

void Shell::initDialog(platform::MainDialog& dialog) {
    try {
        controller_ = std::make_unique<Controller>(dialog, input_);
        commands_ = std::make_unique<CommandHandling>(*controller_, gridPending_);
        gridPending_ = true;
    } catch (const platform::WinException& e) {
        controller_.reset();
        exceptionBox(e.message());
        if (input_.deviceCount() == 0) {
            dialog.showNotice(Controller::noInputNotice);
        }
    } catch (...) {
        controller_.reset();
        exceptionBox("Unknown");
    }
}

void Shell::destroyController() {
    commands_.reset();
    controller_.reset();
}

void Shell::closeDialog(platform::MainDialog& dialog) {
    if (controller_) {
        // The Controller's teardown stops the worker and posts the quit.
        destroyController();
    } else {
        platform::Application::postQuit(0);
    }
    dialog.destroy();
}

void Shell::contextMenu(const DialogMessage& message) {
    platform::PopupMenuRequest request;
    request.items.push_back({saveCommand, "SAVE"});
    request.screenPosition = {message.x, message.y};
    const int choice = platform::modalService().popupMenu(request);
    if (choice == saveCommand && controller_) {
        saveSelection(*controller_);
    }
}

void Shell::verticalScroll(const DialogMessage& message) {
    if (message.id == DialogMessage::windowBar || paneScrollRoute_) {
        handlePaneScroll(*controller_, message.code, message.value);
    } else if (message.id == DialogMessage::pointer) {
        // A drag's scroll request that the selection has not claimed: it is
        // not the offset slider's, whose value it would change.
        return;
    } else {
        commands_->handleOffsetScroll(message.code, message.value);
    }
}

void Shell::leftButtonDown(const DialogMessage& message) {
    clearSelection(*controller_);
    controller_->downX = message.x;
    controller_->downY = message.y;
    const int pane = hitTestPane(*controller_, message.x, message.y);
    if (pane < 0) {
        return;
    }
    controller_->downPane = pane;
    selecting_ = true;
    paneScrollRoute_ = false;
}

void Shell::leftButtonUp(const DialogMessage& message) {
    controller_->upX = message.x;
    controller_->upY = message.y;
    const int pane = hitTestPane(*controller_, message.x, message.y);
    if (pane == belowPanes) {
        clearSelection(*controller_);
    } else {
        controller_->upPane = pane;
    }
    selecting_ = false;
    paneScrollRoute_ = false;
}

void Shell::mouseMove(platform::MainDialog& dialog, const DialogMessage& message) {
    if (!selecting_) {
        return;
    }
    int pane = hitTestPane(*controller_, message.x, message.y);
    if (pane == abovePanes || pane == belowPanes) {
        const int request =
            pane == abovePanes ? platform::scroll::lineUp : platform::scroll::lineDown;
        DialogMessage scroll =
            DialogMessage::scroll(Kind::VerticalScroll, DialogMessage::pointer, request, 0);
        scroll.x = message.x;
        scroll.y = message.y;
        dialog.send(scroll);
        if (!controller_) {
            return;
        }
        const int g = controller_->firstVisiblePane;
        pane = request == platform::scroll::lineUp ? g : g + acquisition::Painter::livePanes - 1;
    }
    trackSelection(*controller_, pane, paneScrollRoute_, selecting_, message.x, message.y);
}

}  // namespace app
