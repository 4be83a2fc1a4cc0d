#pragma once

#include <chrono>

#include "Shell.h"
#include "UnattendedBoxes.h"
#include "platform/MainDialog.h"

namespace app {

// A recording without a hand on the mouse, for kiosks, demonstrations and
// tests: once the window is up and idle it presses start, presses stop after
// the given time (unless the recording stops itself first), and closes the
// window. It presses the same button the user does. The run fails when the
// recording never started or a box reported a failure (the disk, the sound
// input); the boxes have said why on standard error.
class UnattendedRun {
public:
    UnattendedRun(Shell& shell, platform::MainDialog& dialog, int seconds,
                  const UnattendedBoxes& boxes);
    UnattendedRun(const UnattendedRun&) = delete;
    UnattendedRun& operator=(const UnattendedRun&) = delete;

    void begin();
    // 0 when the recording ran and nothing failed, 1 otherwise; says which
    // on standard error.
    int exitCode() const;

private:
    enum class Stage { WaitingForIdle, Recording, Done };
    void tick();
    void waitForIdle();
    void watchRecording();
    void finish();
    void schedule();

    Shell& shell_;
    platform::MainDialog& dialog_;
    std::chrono::milliseconds duration_;
    std::chrono::steady_clock::time_point deadline_{};
    const UnattendedBoxes& boxes_;
    Stage stage_ = Stage::WaitingForIdle;
    bool started_ = false;
};

}  // namespace app
