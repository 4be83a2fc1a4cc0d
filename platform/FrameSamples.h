#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct AVFrame;

namespace platform {

// The step from an audio decoder's frames to 16-bit samples at the rate the
// program records at: one channel, or the first few interleaved. Each frame
// is taken with its own channel layout, sample rate and sample format. Files
// joined from pieces change them midway (a stereo message and a mono one, a
// stream that halves its rate): what the resampler still holds then goes
// out first and a new one is set up for the frames after, so nothing is lost
// and the output's time follows the audio's.
//
// A stretch of one channel serves every channel asked for: mono is what each
// of them heard. A stretch of several channels without the one asked for
// ends the output there, and why() says so; so does a stretch at fewer than
// lowestRate samples a second.
class FrameSamples {
public:
    // Sound at fewer samples a second holds no tone the program reads, and
    // would come out stretched many times over.
    static constexpr int lowestRate = 8000;

    // `channel` (from 0), or -1 for channels 0 to `channels` - 1
    // interleaved; `rate` samples a second.
    FrameSamples(int channel, int channels, int rate);
    ~FrameSamples();
    FrameSamples(const FrameSamples&) = delete;
    FrameSamples& operator=(const FrameSamples&) = delete;

    // Resamples one decoded frame into what waits to be taken. False once
    // the output has ended (see why()); later frames are then ignored.
    bool push(const AVFrame& frame);
    // At the end of the audio: what the resampler still holds.
    void flush();

    // Frames waiting to be taken.
    std::size_t available() const;
    // Up to `frames` frames into `out` (frames times the channels
    // delivered), oldest first; how many.
    std::size_t take(std::int16_t* out, std::size_t frames);
    // Why the output ended before the audio did; empty while it follows.
    const std::string& why() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
