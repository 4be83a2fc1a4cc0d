#pragma once

namespace acquisition {

// The main window as the capture worker sees it: something that can be asked
// to run one of its commands on the user-interface thread. The call only
// queues the command and returns; it must never block.
class CommandTarget {
public:
    virtual void postCommand(int id, int code, long long value) = 0;

protected:
    ~CommandTarget() = default;
};

}  // namespace acquisition
