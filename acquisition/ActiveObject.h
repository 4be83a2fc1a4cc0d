#pragma once

#include <atomic>
#include <chrono>

#include "ThreadHandle.h"

namespace acquisition {

// An object that owns one worker thread and decides what it does through
// virtual operations. The thread is created suspended, so no virtual operation
// runs while a derived class is still being built; the owner resumes it once
// the whole object exists.
//
// Lifetime rule: the thread must be over before the members it uses are
// destroyed. A derived class therefore calls endThread() first thing in its
// own destructor; stopThread() alone only bounds how long the owner waits.
class ActiveObject {
public:
    ActiveObject(const ActiveObject&) = delete;
    ActiveObject& operator=(const ActiveObject&) = delete;
    virtual ~ActiveObject();

    void resumeThread();
    // Requests a stop, wakes the worker and waits at most 2000 ms for it to end.
    // Returns whether the thread has ended.
    bool stopThread();

    static constexpr std::chrono::milliseconds stopTimeout{2000};

protected:
    ActiveObject();

    virtual void onThreadStart() = 0;
    virtual void threadMain() = 0;
    // Makes a threadMain() that is blocked in a wait look at stopRequested().
    virtual void wakeThread() = 0;

    bool stopRequested() const { return stopRequests_.load(std::memory_order_acquire) != 0; }
    int stopRequests() const { return stopRequests_.load(std::memory_order_acquire); }

    // Requests a stop, wakes the worker and waits for its end without a limit.
    // Derived destructors call it before their members go.
    void endThread();

private:
    void run();

    std::atomic<int> stopRequests_{0};
    ThreadHandle thread_;
};

}  // namespace acquisition
