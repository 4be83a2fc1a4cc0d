#pragma once

namespace platform {

// Every step that changes a recording's files on disk (a temporary file
// created, synced, renamed, removed) is counted here in test builds. Tests
// end the process after a chosen step, as a crash or a power cut would, to
// see that the next start finds either the old or the new recording whole.
// In the program people run it does nothing.
class FileSteps {
public:
#ifdef TRELMONT_TEST_HOOKS
    // Called after each step.
    static void done();
    // For tests: the process ends (with exitCode) right after step `step`,
    // counted from now; 0 turns it off.
    static void exitAfterForTests(int step, int exitCode = 77);
    // The steps counted since the last exitAfterForTests().
    static int count();
#else
    static void done() {}
#endif
};

}  // namespace platform
