#pragma once

#include <mutex>

namespace acquisition {

// A re-entrant process-local lock: the thread that holds it may enter it again
// (a message box shown under the lock runs a nested event loop whose commands
// may lock again). Entered and left only through ScopedLock.
class CriticalSection {
public:
    CriticalSection() = default;
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

private:
    friend class ScopedLock;
    void enter() { mutex_.lock(); }
    void leave() { mutex_.unlock(); }

    std::recursive_mutex mutex_;
};

}  // namespace acquisition
