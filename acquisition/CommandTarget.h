#pragma once

namespace acquisition {

// The main window as the capture worker and the print job see it: something
// that can be asked to run one of its commands on the user-interface thread. The call only
// queues the command and returns; it must never block.
class CommandTarget {
public:
    virtual void postCommand(int id, int code, long long value) = 0;
    // Takes the window's input away while a print job runs, and gives it
    // back; called on the user-interface thread.
    virtual void enableWindow(bool) {}

protected:
    ~CommandTarget() = default;
};

}  // namespace acquisition
