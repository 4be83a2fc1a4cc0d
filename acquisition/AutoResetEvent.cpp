#include "AutoResetEvent.h"

namespace acquisition {

void AutoResetEvent::set() {
    {
        std::lock_guard guard(mutex_);
        state_ = true;
    }
    signalled_.notify_one();
}

void AutoResetEvent::wait() {
    std::unique_lock guard(mutex_);
    signalled_.wait(guard, [this] { return state_; });
    state_ = false;
}

bool AutoResetEvent::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    if (!signalled_.wait_for(guard, timeout, [this] { return state_; })) {
        return false;
    }
    state_ = false;
    return true;
}

}  // namespace acquisition
