#pragma once

#include <chrono>

namespace acquisition {

// In test builds, holds the capture worker now and then, as a machine too
// busy to run it would, so that the sound input has to drop what it captures
// meanwhile. In the program people run it does nothing.
class WorkerHold {
public:
#ifdef TRELMONT_TEST_HOOKS
    // Called by the worker, holding no lock, after each buffer it processed,
    // with the number processed so far.
    static void afterBuffer(long long processed);
    // For tests: the worker sleeps `hold` after every `buffers` buffers; 0
    // turns it off.
    static void everyForTests(int buffers, std::chrono::milliseconds hold);
#else
    static void afterBuffer(long long) {}
#endif
};

}  // namespace acquisition
