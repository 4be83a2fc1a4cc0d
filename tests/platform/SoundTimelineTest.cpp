#include "platform/SoundTimeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double frame = 0.02;

// Frames given to a timeline as a reader gives them: the sound given out
// grows by each frame and by the silence put in before it.
struct Reader {
    explicit Reader(double duration = -1.0) : timeline(duration) {}
    platform::SoundTimeline timeline;
    double given = 0.0;
    std::vector<double> silences;

    void take(double start, double length = frame) {
        const double silence = timeline.missingBefore(start, length, given);
        if (silence > 0.0) {
            silences.push_back(silence);
        }
        given += silence + length;
    }
    // `count` frames in line from `start`; where the next would start.
    double run(double start, int count) {
        for (int k = 0; k < count; ++k) {
            take(start + k * frame);
        }
        return start + count * frame;
    }
};

TEST(SoundTimeline, FramesThatFollowEachOtherMissNothing) {
    // An encoder's delay taken off the first frame without its time moving.
    Reader delayed;
    delayed.take(0.0, 0.0135);
    delayed.run(frame, 100);
    // A decoder that puts one frame a few milliseconds late and the next
    // back in line, again and again.
    Reader rounded;
    double at = rounded.run(0.0, 10);
    for (int k = 0; k < 20; ++k) {
        rounded.take(at + 0.0093);
        at = rounded.run(at + frame, 5);
    }
    // Frames without a time follow the one before them; the next with one
    // is in line.
    Reader untimed;
    at = untimed.run(0.0, 10);
    for (int k = 0; k < 5; ++k) {
        untimed.take(std::nan(""));
    }
    untimed.run(at + 5 * frame, 10);
    for (const Reader* r : {&delayed, &rounded, &untimed}) {
        EXPECT_TRUE(r->silences.empty());
        EXPECT_EQ(r->timeline.missingSeconds(), 0.0);
        EXPECT_EQ(r->timeline.jumpsNotKept(), 0);
    }
}

TEST(SoundTimeline, SoundMissingInsideTheFileIsKeptAsTimeOnce) {
    Reader r(20.0);
    r.run(0.0, 250);  // 5 s
    // Pages lost: the frames go on 2 s later. The first frame after the gap
    // alone does not tell; the second does, and the gap is kept before it.
    r.take(7.0);
    EXPECT_TRUE(r.silences.empty());
    r.take(7.0 + frame);
    ASSERT_EQ(r.silences.size(), 1u);
    EXPECT_NEAR(r.silences[0], 2.0, 1e-9);
    EXPECT_NEAR(r.timeline.firstMissingAt(), 5.02, 1e-9);
    // After it, frames in line again, and a second, shorter gap of three
    // frames the decoder could not decode.
    double at = r.run(7.0 + 2 * frame, 100);
    r.run(at + 3 * frame, 100);
    ASSERT_EQ(r.silences.size(), 2u);
    EXPECT_NEAR(r.silences[1], 3 * frame, 1e-9);
    EXPECT_EQ(r.timeline.missingStretches(), 2);
    // Everything after the gaps stands at its own time.
    EXPECT_NEAR(r.given, at + 3 * frame + 100 * frame, 1e-9);
}

TEST(SoundTimeline, AClockThatStartsAgainIsFollowedAndStillTellsGaps) {
    // Two Ogg streams joined: the second starts its clock at 0 again.
    Reader r;
    r.run(0.0, 200);
    double at = r.run(0.0, 200);
    EXPECT_TRUE(r.silences.empty());
    r.run(at + 1.0, 50);
    ASSERT_EQ(r.silences.size(), 1u);
    EXPECT_NEAR(r.silences[0], 1.0, 1e-9);
    EXPECT_NEAR(r.timeline.firstMissingAt(), 8.02, 1e-9);
}

TEST(SoundTimeline, AClockThatJumpsTooFarIsNotKeptAsTime) {
    // A jump of more than a minute.
    Reader far;
    far.run(far.run(0.0, 100) + 61.0, 100);
    // One past the end the header gives.
    Reader pastTheEnd(10.0);
    pastTheEnd.run(pastTheEnd.run(0.0, 100) + 9.5, 100);
    // A crafted file whose clock leaps half a minute every few frames: a
    // few hundred bytes would otherwise stand for days of silence.
    Reader leaping;
    double at = 0.0;
    for (int k = 0; k < 1000; ++k) {
        at = leaping.run(at, 3) + 30.0;
    }
    for (const Reader* r : {&far, &pastTheEnd}) {
        EXPECT_TRUE(r->silences.empty());
        EXPECT_EQ(r->timeline.jumpsNotKept(), 1);
    }
    EXPECT_NEAR(far.timeline.largestJumpNotKept(), 61.0, 1e-9);
    const double heard = 3000 * frame;
    EXPECT_LE(leaping.timeline.missingSeconds(), heard + platform::SoundTimeline::maxExtraSeconds);
    EXPECT_GT(leaping.timeline.jumpsNotKept(), 900);
}

}  // namespace
