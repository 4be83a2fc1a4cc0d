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
    // Runs `task` later on the user-interface thread; callable from any thread.
    static void post(std::function<void()> task);

private:
    std::unique_ptr<QApplication> app_;
};

}  // namespace platform
