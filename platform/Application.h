#pragma once

#include <functional>
#include <memory>

class QApplication;

namespace platform {

// The program's event loop on the user-interface thread.
class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    int exec();
    void quit(int code);
    // Ends the event loop with `code` once the events queued so far are
    // handled, as a posted quit message does; callable from any thread.
    static void postQuit(int code);
    // The desktop's default beep.
    static void beep();
    // Runs `task` later on the user-interface thread; callable from any thread.
    static void post(std::function<void()> task);
    // Runs `task` on the user-interface thread after `milliseconds`.
    static void postAfter(int milliseconds, std::function<void()> task);
    // Runs `handler` on the user-interface thread when the process is asked
    // to end (SIGTERM, SIGINT, SIGHUP: a logout, a shutdown, Ctrl+C), instead
    // of ending at once.
    void onTerminationRequest(std::function<void()> handler);
    // Handles pending events for about `milliseconds` (tests drive the loop
    // with it instead of exec()).
    static void processEvents(int milliseconds);

private:
    class TerminationWatch;
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<TerminationWatch> termination_;
};

}  // namespace platform
