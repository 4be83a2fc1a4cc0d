#include "ActiveObject.h"

namespace acquisition {

ActiveObject::ActiveObject() {
    thread_.createSuspended([this] { run(); });
}

ActiveObject::~ActiveObject() {
    // A derived class has already ended a resumed thread; a thread that was
    // never resumed is released here without running anything.
    thread_.join();
}

void ActiveObject::run() {
    onThreadStart();
    threadMain();
}

void ActiveObject::resumeThread() {
    thread_.resume();
}

bool ActiveObject::stopThread() {
    stopRequests_.fetch_add(1, std::memory_order_acq_rel);
    wakeThread();
    return thread_.wait(stopTimeout);
}

void ActiveObject::endThread() {
    stopRequests_.fetch_add(1, std::memory_order_acq_rel);
    wakeThread();
    thread_.join();
}

}  // namespace acquisition
