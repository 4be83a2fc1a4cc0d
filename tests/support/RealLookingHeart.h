#pragma once

#include <numbers>

#include "acquisition/HeartSignal.h"

namespace testsupport {

// A heart that looks like a real recording rather than the simulator's
// textbook beat: 66 a minute, a narrow QRS of 90 ms (from Q's onset to S's
// end where they pass 0.05 mV), R 1.25 mV, a deep S, a baseline wandering
// 0.15 mV with breathing, and 0.02 mV of noise. The narrower the QRS, the
// more a drawing of one value a buffer misses of its R.
inline acquisition::HeartSignal::Settings realLookingHeart() {
    const auto degrees = [](double d) { return d * std::numbers::pi / 180.0; };
    acquisition::HeartSignal::Settings settings;
    settings.beatsPerMinute = 66.0;
    settings.wanderMillivolts = 0.15;
    settings.wanderHertz = 0.25;
    settings.noiseMillivolts = 0.02;
    settings.noiseSeed = 66;
    settings.waves = {{
        {degrees(-70.0), 0.12, 0.25},   // P
        {degrees(-10.5), -0.1, 0.073},  // Q
        {degrees(0.0), 1.25, 0.073},    // R
        {degrees(10.5), -0.35, 0.073},  // S
        {degrees(100.0), 0.3, 0.4},     // T
    }};
    return settings;
}

}  // namespace testsupport
