#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Geometry.h"
#include "PrinterSurface.h"
#include "resources/DialogTemplate.h"

// Every modal interaction (message boxes, the pop-up menu, the About dialog,
// and later the file and print dialogs) goes through one replaceable service.
// The program installs the Qt one; tests install a scripted one that records
// what would have been shown and answers it.

namespace platform {

enum class BoxIcon { None, Information, Warning, Error };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    BoxIcon icon = BoxIcon::None;
};

// The platform's dialog that asks for the name of a file to write.
struct SaveFileRequest {
    struct Filter {
        std::string label;    // "Text Files (REC1.TXT)"
        std::string pattern;  // "REC1.txt"
        // What the file type means for a name typed without an extension;
        // empty: the request's default extension.
        std::string extension;
    };
    std::string initialName;
    std::vector<Filter> filters;  // the first is selected
    // Added to a name typed without one.
    std::string defaultExtension;
    std::string initialDirectory;
    std::string title;  // empty: the platform's own
};

// What the user chose in the save dialog: the name as typed (with its folder),
// no extension added, and the file type selected when the dialog closed.
struct SaveFileChoice {
    std::string path;
    int filter = 0;  // index into the request's filters
};

// The platform's dialog that asks for a file to read.
struct OpenFileRequest {
    std::string title;
    // "Tone recordings (*.wav *.m4a ...)", then the others.
    std::vector<std::string> filters;
    std::string initialDirectory;
};

struct PrintRequest {
    std::string documentName;
};

struct MenuItem {
    int command = 0;
    std::string text;
};

struct PopupMenuRequest {
    std::vector<MenuItem> items;
    Point screenPosition;
};

// A modal dialog built from a template. Its procedure sees every command of
// the dialog's controls and ends the dialog through `end`.
class ModalDialogHandle {
public:
    virtual void end(int result) = 0;

protected:
    ~ModalDialogHandle() = default;
};

struct DialogRequest {
    const resources::DialogTemplate* dialogTemplate = nullptr;
    // Returns whether it handled the command.
    std::function<bool(ModalDialogHandle& dialog, int id)> onCommand;
};

class ModalService {
public:
    virtual ~ModalService() = default;

    // Shows a box with an OK button and waits until it is dismissed.
    void messageBox(const MessageBoxRequest& request);
    // Shows a box with Yes and No buttons; whether the answer was Yes.
    bool askYesNo(const MessageBoxRequest& request);
    // The full path the user typed and the file type chosen, nothing when
    // the dialog was cancelled. The dialog itself neither adds an extension
    // nor asks about an existing file.
    std::optional<SaveFileChoice> saveFileName(const SaveFileRequest& request);
    // The file the user chose to open, nothing when the dialog was cancelled.
    std::optional<std::string> openFileName(const OpenFileRequest& request);
    // The platform's print dialog: the printer (or file) the user chose, set
    // up for the job; null when the dialog was cancelled or failed.
    std::unique_ptr<PrinterSurface> choosePrinter(const PrintRequest& request);
    // Tracks a pop-up menu; the chosen item's command, 0 when dismissed.
    int popupMenu(const PopupMenuRequest& request);
    // Runs a dialog until its procedure ends it; returns the result.
    int runDialog(const DialogRequest& request);
    // Asks the desktop to open a document or program by name, as the
    // file manager's "open" does. Not modal, but outside the program all the same.
    virtual void openWithDesktop(const std::string& name) = 0;
    // The program is closing: every open box, menu and dialog ends as if it
    // were dismissed, and so does every one asked for until endDismissal()
    // (a box's text then goes to standard error), so that nobody has to
    // answer anything before the program can end. Their callers run on as
    // after a dismissal.
    void dismissAll();

protected:
    // Ends the boxes, menus and dialogs open now.
    virtual void dismissOpen() {}
    virtual void showMessageBox(const MessageBoxRequest& request) = 0;
    virtual int showPopupMenu(const PopupMenuRequest& request) = 0;
    virtual int showDialog(const DialogRequest& request) = 0;
    virtual bool showYesNo(const MessageBoxRequest&) { return false; }
    virtual std::optional<SaveFileChoice> showSaveFileDialog(const SaveFileRequest&) {
        return std::nullopt;
    }
    virtual std::unique_ptr<PrinterSurface> showPrintDialog(const PrintRequest&) { return nullptr; }
    virtual std::optional<std::string> showOpenFileDialog(const OpenFileRequest&) {
        return std::nullopt;
    }
};

// The service in use. Until one is installed, boxes are written to standard
// error, so that nothing is ever shown silently to nobody.
ModalService& modalService();

// Installs a service and returns the previous one (null when the default was
// in use). Call it on the user-interface thread before any box can be shown.
std::unique_ptr<ModalService> installModalService(std::unique_ptr<ModalService> service);

// Whether a modal interaction is open on the user-interface thread. Its
// nested event loop may deliver queued work; work that could pull objects out
// from under the code waiting on the box waits instead until the last one
// closes: `afterModal` runs the task then (at once when none is open).
// A task that waits so never runs inside a later modal interaction either.
bool modalActive();
void afterModal(std::function<void()> task);
// Whether modal interactions are dismissed as they come (see dismissAll), and
// the end of it, once the close they made way for has been carried out.
bool dismissing();
void endDismissal();

}  // namespace platform
