#include "UnattendedRun.h"

#include <algorithm>
#include <cstdio>

#include "platform/Application.h"
#include "resources/DialogTemplates.h"

namespace app {

namespace {

// How often the window is asked whether it has come up idle; it does so once.
constexpr std::chrono::milliseconds idlePoll{50};
// How often a running recording is looked at, for a stop that it made itself
// (full, a failure): the stop has stored every value already, so noticing it
// a little later only closes the window later. The stop at the deadline is
// timed to the deadline itself, so the run's length does not depend on it.
// Every look wakes the user-interface thread, which a recording otherwise
// wakes only to draw.
constexpr std::chrono::milliseconds recordingPoll{500};

}  // namespace

UnattendedRun::UnattendedRun(Shell& shell, platform::MainDialog& dialog, int seconds,
                             const UnattendedBoxes& boxes)
    : shell_(shell), dialog_(dialog), duration_(std::chrono::seconds(seconds)), boxes_(boxes) {}

void UnattendedRun::begin() {
    schedule();
}

void UnattendedRun::schedule() {
    std::chrono::milliseconds wait = idlePoll;
    if (stage_ == Stage::Recording) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline_ - std::chrono::steady_clock::now());
        wait = std::clamp(left, std::chrono::milliseconds(0), recordingPoll);
    }
    platform::Application::postAfter(static_cast<int>(wait.count()), [this] { tick(); });
}

void UnattendedRun::tick() {
    if (dialog_.isDestroyed()) {
        return;
    }
    switch (stage_) {
        case Stage::WaitingForIdle:
            waitForIdle();
            break;
        case Stage::Recording:
            watchRecording();
            break;
        case Stage::Done:
            return;
    }
    if (stage_ != Stage::Done) {
        schedule();
    }
}

void UnattendedRun::waitForIdle() {
    const Controller* controller = shell_.controller();
    if (controller == nullptr) {
        // The window came up without a Controller (no capture device): there
        // is nothing to record.
        finish();
        return;
    }
    if (!controller->idle) {
        return;
    }
    dialog_.click(resources::ids::startStop);
    if (shell_.controller() == nullptr || shell_.controller()->idle) {
        // The start failed; its box has said why.
        finish();
        return;
    }
    deadline_ = std::chrono::steady_clock::now() + duration_;
    stage_ = Stage::Recording;
    started_ = true;
}

void UnattendedRun::watchRecording() {
    const Controller* controller = shell_.controller();
    if (controller == nullptr || controller->idle) {
        finish();
        return;
    }
    if (std::chrono::steady_clock::now() >= deadline_) {
        dialog_.click(resources::ids::startStop);
        finish();
    }
}

int UnattendedRun::exitCode() const {
    if (!started_) {
        std::fputs("trelmont-ecg: the unattended recording could not start\n", stderr);
        return 1;
    }
    if (boxes_.failureReported()) {
        std::fputs("trelmont-ecg: the unattended recording was stopped by a failure\n", stderr);
        return 1;
    }
    return 0;
}

void UnattendedRun::finish() {
    stage_ = Stage::Done;
    dialog_.close();
}

}  // namespace app
