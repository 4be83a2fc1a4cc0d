#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

class QWidget;

namespace platform {

// The window manager's request to close a window (its close button, Alt+F4)
// while a box or dialog of the program is open. Qt drops that request for a
// window an application-modal box blocks, so the close button would do
// nothing until the box is answered; this filter sees the request on its way
// in (on X11, the WM_DELETE_WINDOW client message) and hands it to
// `onClose`, which dismisses the boxes and closes the window as its close
// button does when no box is open. Elsewhere (Wayland) the request takes
// Qt's way alone.
class CloseRequestFilter final : public QAbstractNativeEventFilter {
public:
    // Watches `window` from now until the filter is destroyed; `onClose` runs
    // on the user-interface thread, after the event that asked.
    CloseRequestFilter(const QWidget& window, std::function<void()> onClose);
    ~CloseRequestFilter() override;
    CloseRequestFilter(const CloseRequestFilter&) = delete;
    CloseRequestFilter& operator=(const CloseRequestFilter&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Whether the X11 event `event` asks window `window` to close, given the
    // server's atoms WM_PROTOCOLS and WM_DELETE_WINDOW.
    static bool asksToClose(const void* event, std::uint32_t window, std::uint32_t protocols,
                            std::uint32_t deleteWindow);

private:
    // Looks the two atoms up on the X server once; false where there is none.
    bool knowAtoms();

    const QWidget& window_;
    std::function<void()> onClose_;
    std::uint32_t protocols_ = 0;
    std::uint32_t deleteWindow_ = 0;
    bool looked_ = false;
};

}  // namespace platform
