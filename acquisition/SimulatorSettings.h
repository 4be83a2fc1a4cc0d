#pragma once

#include <atomic>
#include <memory>

#include "FmTone.h"
#include "HeartSignal.h"

namespace acquisition {

// What the ECG front-end simulator produces. A stream takes a copy when it is
// opened; later changes apply to the next open.
struct SimulatorSettings {
    HeartSignal::Settings heart;
    // Signal seconds per wall-clock second: 1 is real time, 4 delivers buffers
    // four times as fast. 0, a negative value or infinity means unpaced: every
    // queued buffer is filled at once.
    double speed = 1.0;
    // Peak of the tone as a fraction of full scale.
    double amplitude = FmTone::defaultAmplitude;
    // For tests of a lost device: after this many completed buffers the
    // stream ends by itself, as an unplugged card's does (-1: never).
    long long failAfterBuffers = -1;
    // White noise on the line, as a fraction of full scale.
    double lineNoise = 0.0;
    // The tone's gain while it plays (null: 1); the simulator's switch.
    std::shared_ptr<const std::atomic<double>> toneGain;
};

}  // namespace acquisition
