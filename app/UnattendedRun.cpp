#include "UnattendedRun.h"

#include <cstdio>

#include "platform/Application.h"
#include "resources/DialogTemplates.h"

namespace app {

namespace {

constexpr int pollMilliseconds = 50;

}  // namespace

UnattendedRun::UnattendedRun(Shell& shell, platform::MainDialog& dialog, int seconds,
                             const UnattendedBoxes& boxes)
    : shell_(shell), dialog_(dialog), duration_(std::chrono::seconds(seconds)), boxes_(boxes) {}

void UnattendedRun::begin() {
    schedule();
}

void UnattendedRun::schedule() {
    platform::Application::postAfter(pollMilliseconds, [this] { tick(); });
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
