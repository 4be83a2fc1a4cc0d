#pragma once

#include <functional>
#include <memory>
#include <string>

#include "PaneSurface.h"
#include "Picture.h"

namespace platform {

// The recording window: the start/stop button, the notice, the scale picture
// beside the strips and the five live panes. Commands reach the program as
// (control id, notification code, value), as the main dialog's do.
class CaptureWindow {
public:
    static constexpr int startStopId = 1003;

    explicit CaptureWindow(const std::string& title, const std::string& notice);
    ~CaptureWindow();
    CaptureWindow(const CaptureWindow&) = delete;
    CaptureWindow& operator=(const CaptureWindow&) = delete;

    // Shows a pane's surface; the surface must outlive the view or be
    // withdrawn with removePanes() first.
    void addPane(PaneSurface& surface);
    void removePanes();
    void setScale(std::unique_ptr<Picture> picture);
    int scaleWidth() const;
    int scaleHeight() const;
    void setRecording(bool recording);

    using CommandHandler = std::function<void(int id, int code, long long value)>;
    void onCommand(CommandHandler handler);
    // Queues a command for the user-interface thread; callable from any thread.
    void postCommand(int id, int code, long long value);
    void onClose(std::function<void()> handler);

    void show();
    // Renders the window as it is shown into a PNG.
    bool saveScreenshot(const std::string& path);

private:
    class Widget;
    std::unique_ptr<Widget> widget_;
};

}  // namespace platform
