#include "WorkerHold.h"

#include <atomic>
#include <thread>

namespace acquisition {

#ifdef TRELMONT_TEST_HOOKS

namespace {

std::atomic<int> holdEvery{0};
std::atomic<long long> holdMilliseconds{0};

}  // namespace

void WorkerHold::afterBuffer(long long processed) {
    const int every = holdEvery.load();
    if (every > 0 && processed % every == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMilliseconds.load()));
    }
}

void WorkerHold::everyForTests(int buffers, std::chrono::milliseconds hold) {
    holdMilliseconds.store(hold.count());
    holdEvery.store(buffers);
}

#endif

}  // namespace acquisition
