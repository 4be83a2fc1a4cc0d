#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace acquisition {

// A thread that is created suspended: its routine runs only after resume().
// wait() bounds how long a caller waits for the end; the destructor always
// joins, so the thread never outlives the handle. A thread that was never
// resumed is released without running its routine.
class ThreadHandle {
public:
    ThreadHandle() = default;
    ~ThreadHandle();
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;

    void createSuspended(std::function<void()> routine);
    void resume();
    // True when the thread has ended within `timeout` (or never existed).
    bool wait(std::chrono::milliseconds timeout);
    // Waits for the end without a time limit; a never-resumed thread is
    // released without running its routine.
    void join();
    std::thread::id id() const { return id_; }

private:
    enum class Gate { Suspended, Resumed, Cancelled };
    void entry(std::function<void()> routine);

    std::mutex mutex_;
    std::condition_variable changed_;
    Gate gate_ = Gate::Suspended;
    bool ended_ = false;
    std::thread thread_;
    std::thread::id id_;
};

}  // namespace acquisition
