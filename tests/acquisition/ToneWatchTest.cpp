// The worker tells the front end's tone from noise in every buffer: a tone at
// a quarter of its usual level is heard at every heart rate, with baseline
// wander and noise, and noise or silence alone is never taken for a tone.

#include <gtest/gtest.h>

#include "acquisition/ValueEstimate.h"
#include "tests/support/CaptureRig.h"
#include "tests/support/ScratchDirectory.h"

namespace acquisition {
namespace {

using namespace std::chrono_literals;
using testsupport::Rig;

constexpr long long buffers = 250;

SimulatorSettings quietFrontEnd(double beatsPerMinute) {
    SimulatorSettings s = Rig::unpaced();
    s.heart.beatsPerMinute = beatsPerMinute;
    s.heart.wanderMillivolts = 0.5;
    s.heart.noiseMillivolts = 0.05;
    s.amplitude = FmTone::defaultAmplitude / 4;
    s.lineNoise = 0.05;
    return s;
}

struct Heard {
    long long tone = 0;
    long long quiet = 0;
};

Heard listen(const SimulatorSettings& settings, double toneGain) {
    testsupport::ScratchDirectory scratch;
    Rig rig(nullptr, settings);
    rig.simulator.setToneGain(toneGain);
    EXPECT_TRUE(rig.painter->startCapture());
    EXPECT_TRUE(rig.waitForBuffers(buffers, 60s));
    rig.painter->stopCapture();
    return {rig.painter->toneBuffers(), rig.painter->quietBuffers()};
}

class ToneAtEveryHeartRate : public ::testing::TestWithParam<double> {};

TEST_P(ToneAtEveryHeartRate, AQuarterLevelToneIsHeardInEveryBuffer) {
    const Heard heard = listen(quietFrontEnd(GetParam()), 1.0);
    EXPECT_GE(heard.tone, buffers);
    EXPECT_EQ(heard.quiet, 0);
}

INSTANTIATE_TEST_SUITE_P(BeatsPerMinute, ToneAtEveryHeartRate,
                         ::testing::Values(30.0, 72.0, 140.0, 220.0));

TEST(ToneWatch, NoiseOrSilenceAloneIsNeverATone) {
    const Heard noise = listen(quietFrontEnd(72.0), 0.0);
    EXPECT_EQ(noise.tone, 0);
    EXPECT_GE(noise.quiet, buffers);

    SimulatorSettings silent = quietFrontEnd(72.0);
    silent.lineNoise = 0.0;
    const Heard silence = listen(silent, 0.0);
    EXPECT_EQ(silence.tone, 0);
}

}  // namespace
}  // namespace acquisition
