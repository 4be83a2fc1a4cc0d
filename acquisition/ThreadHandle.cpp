#include "ThreadHandle.h"

namespace acquisition {

ThreadHandle::~ThreadHandle() {
    join();
}

void ThreadHandle::createSuspended(std::function<void()> routine) {
    thread_ = std::thread(&ThreadHandle::entry, this, std::move(routine));
    id_ = thread_.get_id();
}

void ThreadHandle::entry(std::function<void()> routine) {
    bool run = false;
    {
        std::unique_lock guard(mutex_);
        changed_.wait(guard, [this] { return gate_ != Gate::Suspended; });
        run = gate_ == Gate::Resumed;
    }
    if (run) {
        routine();
    }
    {
        std::lock_guard guard(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

void ThreadHandle::resume() {
    {
        std::lock_guard guard(mutex_);
        if (gate_ == Gate::Suspended) {
            gate_ = Gate::Resumed;
        }
    }
    changed_.notify_all();
}

bool ThreadHandle::wait(std::chrono::milliseconds timeout) {
    if (!thread_.joinable()) {
        return true;
    }
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, timeout, [this] { return ended_; });
}

void ThreadHandle::join() {
    if (!thread_.joinable()) {
        return;
    }
    {
        std::lock_guard guard(mutex_);
        if (gate_ == Gate::Suspended) {
            gate_ = Gate::Cancelled;
        }
    }
    changed_.notify_all();
    thread_.join();
}

}  // namespace acquisition
