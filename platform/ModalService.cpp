#include "ModalService.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>
#include <mutex>

namespace platform {

namespace {

class StderrModalService final : public ModalService {
public:
    void openWithDesktop(const std::string& name) override {
        std::fprintf(stderr, "[open] %s\n", name.c_str());
    }

protected:
    void showMessageBox(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    }
    int showPopupMenu(const PopupMenuRequest&) override { return 0; }
    int showDialog(const DialogRequest&) override { return 0; }
};

struct ServiceSlot {
    std::mutex mutex;
    std::unique_ptr<ModalService> installed;
    StderrModalService fallback;
};

ServiceSlot& slot() {
    static ServiceSlot instance;
    return instance;
}

// Modal interactions run on the user-interface thread only, so the depth and
// the waiting tasks are that thread's alone.
struct ModalState {
    int depth = 0;
    bool dismissing = false;
    std::vector<std::function<void()>> waiting;
};

ModalState& modalState() {
    static ModalState state;
    return state;
}

// Counts one open modal interaction; when the last closes, the tasks that
// waited for it are queued on the event loop, so they run after the code that
// opened the box has finished with whatever it held.
class ModalScope {
public:
    ModalScope() { modalState().depth += 1; }
    ~ModalScope() {
        ModalState& s = modalState();
        s.depth -= 1;
        if (s.depth > 0 || s.waiting.empty()) {
            return;
        }
        std::vector<std::function<void()>> tasks;
        tasks.swap(s.waiting);
        QCoreApplication* app = QCoreApplication::instance();
        for (auto& task : tasks) {
            if (app != nullptr) {
                // The caller of the box may open another before the task's
                // turn comes: the task then waits for that one too.
                QMetaObject::invokeMethod(
                    app, [task = std::move(task)]() mutable { afterModal(std::move(task)); },
                    Qt::QueuedConnection);
            }
        }
    }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

// What a box would have said while the program closes: nobody is asked, but
// nothing is lost either.
void writeUnshown(const MessageBoxRequest& request) {
    std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
}

}  // namespace

void ModalService::messageBox(const MessageBoxRequest& request) {
    if (dismissing()) {
        writeUnshown(request);
        return;
    }
    const ModalScope scope;
    showMessageBox(request);
}

bool ModalService::askYesNo(const MessageBoxRequest& request) {
    if (dismissing()) {
        writeUnshown(request);
        return false;
    }
    const ModalScope scope;
    return showYesNo(request);
}

std::optional<SaveFileChoice> ModalService::saveFileName(const SaveFileRequest& request) {
    if (dismissing()) {
        return std::nullopt;
    }
    const ModalScope scope;
    return showSaveFileDialog(request);
}

std::optional<std::string> ModalService::openFileName(const OpenFileRequest& request) {
    if (dismissing()) {
        return std::nullopt;
    }
    const ModalScope scope;
    return showOpenFileDialog(request);
}

std::unique_ptr<PrinterSurface> ModalService::choosePrinter(const PrintRequest& request) {
    if (dismissing()) {
        return nullptr;
    }
    const ModalScope scope;
    return showPrintDialog(request);
}

int ModalService::popupMenu(const PopupMenuRequest& request) {
    if (dismissing()) {
        return 0;
    }
    const ModalScope scope;
    return showPopupMenu(request);
}

int ModalService::runDialog(const DialogRequest& request) {
    if (dismissing()) {
        return 0;
    }
    const ModalScope scope;
    return showDialog(request);
}

void ModalService::dismissAll() {
    modalState().dismissing = true;
    dismissOpen();
}

bool modalActive() {
    return modalState().depth > 0;
}

bool dismissing() {
    return modalState().dismissing;
}

void endDismissal() {
    modalState().dismissing = false;
}

void afterModal(std::function<void()> task) {
    if (!modalActive()) {
        task();
        return;
    }
    modalState().waiting.push_back(std::move(task));
}

ModalService& modalService() {
    ServiceSlot& s = slot();
    std::lock_guard guard(s.mutex);
    if (s.installed) {
        return *s.installed;
    }
    return s.fallback;
}

std::unique_ptr<ModalService> installModalService(std::unique_ptr<ModalService> service) {
    ServiceSlot& s = slot();
    std::lock_guard guard(s.mutex);
    std::swap(s.installed, service);
    return service;
}

}  // namespace platform
