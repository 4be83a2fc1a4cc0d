#pragma once

#include "CriticalSection.h"

namespace acquisition {

// Holds a CriticalSection for its own lifetime, exceptions included.
class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& section) : section_(section) { section_.enter(); }
    ~ScopedLock() { section_.leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& section_;
};

}  // namespace acquisition
