#pragma once

#include <cstdint>

#include "BufferAnalysis.h"

namespace acquisition {

// Turns the bytes a sound input dropped (the capture worker had fallen
// behind) into whole buffers of the recording. The device drops what one of
// its callbacks brings, which need not be whole buffers: each drop counts
// the buffers all bytes dropped so far make, to the nearest, less those
// counted before, so the remainder carries on to the next drop and every line
// after a drop stays within half a buffer of its time. The capture worker's
// alone.
class DroppedBytes {
public:
    explicit DroppedBytes(int bytesPerBuffer = 1) { reset(bytesPerBuffer); }

    // A new recording, at `bytesPerBuffer`.
    void reset(int bytesPerBuffer);
    // `bytes` dropped just before the next buffer: what that makes.
    SoundLost add(std::uint64_t bytes);

private:
    std::uint64_t bytesPerBuffer_ = 1;
    std::uint64_t bytes_ = 0;
    long long buffers_ = 0;
};

}  // namespace acquisition
