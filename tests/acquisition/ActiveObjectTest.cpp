#include "acquisition/ActiveObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "acquisition/AutoResetEvent.h"
#include "acquisition/CriticalSection.h"
#include "acquisition/ScopedLock.h"
#include "acquisition/ThreadHandle.h"

namespace acquisition {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds elapsedSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// What a worker did, kept outside the worker so that it can be read after the
// worker has been destroyed.
struct WorkerLog {
    std::atomic<int> starts{0};
    std::atomic<int> mains{0};
    std::atomic<int> wakes{0};
    std::atomic<int> requestsSeenAtExit{-1};
    std::atomic<bool> started{false};
    std::atomic<bool> startedBeforeMain{false};
    AutoResetEvent inMain;
};

// A worker that sleeps on its event until a stop is requested, as the capture
// worker does. With `stuck` it blocks on an event of the test's instead, which
// stopping does not wake: a worker that does not end.
class Worker : public ActiveObject {
public:
    explicit Worker(WorkerLog& log, AutoResetEvent* stuck = nullptr) : log_(log), stuck_(stuck) {}
    ~Worker() override { endThread(); }

    int requests() const { return stopRequests(); }

protected:
    void onThreadStart() override {
        log_.starts++;
        log_.started = true;
    }
    void threadMain() override {
        log_.startedBeforeMain = log_.started.load();
        log_.mains++;
        log_.inMain.set();
        if (stuck_ != nullptr) {
            stuck_->wait();
        }
        while (!stopRequested()) {
            event_.wait();
        }
        log_.requestsSeenAtExit = stopRequests();
    }
    void wakeThread() override {
        log_.wakes++;
        event_.set();
    }

private:
    WorkerLog& log_;
    AutoResetEvent* stuck_;
    AutoResetEvent event_;
};

TEST(ActiveObject, StopWakesAWaitingWorkerAtOnce) {
    WorkerLog log;
    Worker worker(log);
    worker.resumeThread();
    ASSERT_TRUE(log.inMain.waitFor(milliseconds(5000)));

    const auto start = Clock::now();
    EXPECT_TRUE(worker.stopThread());
    EXPECT_LT(elapsedSince(start), milliseconds(1000));

    EXPECT_EQ(log.starts, 1);
    EXPECT_EQ(log.mains, 1);
    EXPECT_TRUE(log.startedBeforeMain);
    EXPECT_EQ(log.requestsSeenAtExit, 1);
    EXPECT_EQ(worker.requests(), 1);

    // A second request only raises the count; the thread is over already.
    EXPECT_TRUE(worker.stopThread());
    EXPECT_EQ(worker.requests(), 2);
    EXPECT_EQ(log.wakes, 2);
}

TEST(ActiveObject, RequestBeforeTheWorkerWaitsIsNotLost) {
    // The stop may come while the worker is still starting: it must see the
    // request after its wake-up, whichever comes first.
    for (int round = 0; round < 50; ++round) {
        WorkerLog log;
        Worker worker(log);
        worker.resumeThread();
        EXPECT_TRUE(worker.stopThread());
        EXPECT_EQ(log.mains, 1);
        EXPECT_EQ(log.requestsSeenAtExit, 1);
    }
}

TEST(ActiveObject, StopOfANeverResumedWorkerGivesUpAfterTwoSeconds) {
    WorkerLog log;
    {
        Worker worker(log);
        const auto start = Clock::now();
        EXPECT_FALSE(worker.stopThread());
        const milliseconds waited = elapsedSince(start);
        EXPECT_GE(waited, milliseconds(1900));
        EXPECT_LT(waited, milliseconds(10000));
        EXPECT_EQ(worker.requests(), 1);
    }
    // Destroying it releases the thread without running the worker.
    EXPECT_EQ(log.starts, 0);
    EXPECT_EQ(log.mains, 0);
}

TEST(ActiveObject, StopOfAWorkerThatDoesNotEndGivesUpAfterTwoSeconds) {
    WorkerLog log;
    AutoResetEvent stuck;
    Worker worker(log, &stuck);
    worker.resumeThread();
    ASSERT_TRUE(log.inMain.waitFor(milliseconds(5000)));

    const auto start = Clock::now();
    EXPECT_FALSE(worker.stopThread());
    EXPECT_GE(elapsedSince(start), milliseconds(1900));

    // Once the worker gets free it sees the request and ends; the destructor
    // waits for that before the worker's members go.
    stuck.set();
    EXPECT_TRUE(worker.stopThread());
    EXPECT_EQ(log.mains, 1);
    EXPECT_GE(log.requestsSeenAtExit, 1);
}

TEST(ActiveObject, DerivedDestructorEndsARunningWorker) {
    WorkerLog log;
    {
        Worker worker(log);
        worker.resumeThread();
        ASSERT_TRUE(log.inMain.waitFor(milliseconds(5000)));
    }
    EXPECT_EQ(log.mains, 1);
    EXPECT_EQ(log.wakes, 1);
    EXPECT_EQ(log.requestsSeenAtExit, 1);
}

TEST(ThreadHandle, RoutineRunsOnlyAfterResumeOnItsOwnThread) {
    std::atomic<int> runs{0};
    std::thread::id ranOn;
    {
        ThreadHandle never;
        never.createSuspended([&] { runs++; });
        EXPECT_FALSE(never.wait(milliseconds(50)));
    }
    EXPECT_EQ(runs, 0);

    ThreadHandle handle;
    EXPECT_TRUE(handle.wait(milliseconds(0)));  // no thread: nothing to wait for
    handle.createSuspended([&] {
        ranOn = std::this_thread::get_id();
        runs++;
    });
    handle.resume();
    handle.resume();  // a second resume changes nothing
    EXPECT_TRUE(handle.wait(milliseconds(5000)));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(ranOn, handle.id());
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(AutoResetEvent, SeveralSetsReleaseOneWait) {
    AutoResetEvent event;
    EXPECT_FALSE(event.waitFor(milliseconds(0)));
    event.set();
    event.set();
    event.set();
    event.wait();
    EXPECT_FALSE(event.waitFor(milliseconds(20)));

    // A set from another thread releases a waiter that is already blocked.
    std::thread setter([&] {
        std::this_thread::sleep_for(milliseconds(20));
        event.set();
    });
    event.wait();
    setter.join();
    EXPECT_FALSE(event.waitFor(milliseconds(0)));
}

TEST(CriticalSection, ReentrantForItsHolderExclusiveForOthers) {
    CriticalSection section;
    std::atomic<bool> otherEntered{false};
    std::thread other;
    {
        ScopedLock outer(section);
        {
            ScopedLock inner(section);  // same thread: no deadlock
        }
        other = std::thread([&] {
            ScopedLock lock(section);
            otherEntered = true;
        });
        std::this_thread::sleep_for(milliseconds(50));
        EXPECT_FALSE(otherEntered);  // still held after the inner leave
    }
    other.join();
    EXPECT_TRUE(otherEntered);

    // An exception that leaves the scope leaves the lock too.
    EXPECT_THROW(
        {
            ScopedLock lock(section);
            throw std::runtime_error("unwinding");
        },
        std::runtime_error);
    std::thread after([&] { ScopedLock lock(section); });
    after.join();
}

}  // namespace
}  // namespace acquisition
