#include "platform/FrameSamples.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <cstdint>
#include <vector>

// Decoded frames whose channels, rate and sample format change midway, as
// in files joined from pieces: each stretch comes out whole at the output
// rate, in the channel asked for.

namespace {

struct FrameCloser {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// A stretch of `frames` frames at a constant level in each channel.
struct Stretch {
    AVSampleFormat format;
    int rate;
    std::vector<double> levels;  // one a channel, of full scale
    int frames;
};

// Pushes `stretch` in frames of at most 1000.
bool push(platform::FrameSamples& samples, const Stretch& stretch) {
    for (int done = 0; done < stretch.frames;) {
        std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
        frame->format = stretch.format;
        frame->sample_rate = stretch.rate;
        frame->nb_samples = std::min(1000, stretch.frames - done);
        av_channel_layout_default(&frame->ch_layout, static_cast<int>(stretch.levels.size()));
        if (av_frame_get_buffer(frame.get(), 0) < 0) {
            return false;
        }
        for (int i = 0; i < frame->nb_samples; ++i) {
            for (std::size_t c = 0; c < stretch.levels.size(); ++c) {
                const double v = stretch.levels[c];
                const std::size_t at = i * stretch.levels.size() + c;
                if (stretch.format == AV_SAMPLE_FMT_S16) {
                    reinterpret_cast<std::int16_t*>(frame->data[0])[at] =
                        static_cast<std::int16_t>(v * 32768);
                } else if (stretch.format == AV_SAMPLE_FMT_S32) {
                    reinterpret_cast<std::int32_t*>(frame->data[0])[at] =
                        static_cast<std::int32_t>(v * 2147483648.0);
                } else {
                    reinterpret_cast<float*>(frame->extended_data[c])[i] = static_cast<float>(v);
                }
            }
        }
        done += frame->nb_samples;
        if (!samples.push(*frame)) {
            return false;
        }
    }
    return true;
}

const std::vector<Stretch> joined = {
    {AV_SAMPLE_FMT_S16, 8000, {0.25}, 8000},
    {AV_SAMPLE_FMT_FLTP, 48000, {0.5, -0.5}, 48000},
    {AV_SAMPLE_FMT_S32, 44100, {0.125}, 44100},
};

// s16 mono at 8 kHz, float stereo at 48 kHz and s32 mono at 44.1 kHz, a
// second each, read at 48 kHz in either channel or both interleaved: three
// seconds to one sample, each stretch at its level in the channel asked for
// (the mono ones in every channel).
TEST(FrameSamples, EveryStretchComesOutWholeInTheChannelAskedFor) {
    for (const int channel : {0, 1, -1}) {
        SCOPED_TRACE(channel);
        platform::FrameSamples samples(channel, 2, 48000);
        for (const Stretch& stretch : joined) {
            ASSERT_TRUE(push(samples, stretch));
        }
        samples.flush();
        const std::size_t width = channel < 0 ? 2 : 1;
        std::vector<std::int16_t> out(width * 4 * 48000);
        const std::size_t n = samples.take(out.data(), 4 * 48000);
        EXPECT_NEAR(static_cast<double>(n), 3 * 48000.0, 1.0);
        for (std::size_t s = 0; s < joined.size(); ++s) {
            for (std::size_t c = 0; c < width; ++c) {
                const std::vector<double>& levels = joined[s].levels;
                const double level = levels[levels.size() == 1 ? 0 : channel < 0 ? c : channel];
                EXPECT_NEAR(out[(s * 48000 + 24000) * width + c], level * 32768, 2)
                    << "stretch " << s << ", channel " << c;
            }
        }
        EXPECT_TRUE(samples.why().empty());
    }
}

// A stretch of several channels without the one asked for, and one too slow
// to hold a tone, end the output there: what came before is all there, and
// nothing after it is taken.
TEST(FrameSamples, AStretchThatCannotServeEndsTheOutputThere) {
    const struct {
        int channel;
        Stretch last;
        const char* why;
    } cases[] = {
        {2,
         {AV_SAMPLE_FMT_FLTP, 48000, {0.5, -0.5}, 48000},
         "it has 2 channels, without channel 3"},
        {0, {AV_SAMPLE_FMT_S16, 4000, {0.25}, 4000}, "sample rate is 4000 Hz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        platform::FrameSamples samples(c.channel, 1, 48000);
        ASSERT_TRUE(push(samples, joined[0]));
        EXPECT_FALSE(push(samples, c.last));
        EXPECT_FALSE(push(samples, joined[2]));
        samples.flush();
        std::vector<std::int16_t> out(4 * 48000);
        EXPECT_NEAR(static_cast<double>(samples.take(out.data(), out.size())), 48000.0, 1.0);
        EXPECT_NE(samples.why().find(c.why), std::string::npos) << samples.why();
    }
}

}  // namespace
