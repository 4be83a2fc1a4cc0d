#include "DroppedBytes.h"

#include <algorithm>

namespace acquisition {

void DroppedBytes::reset(int bytesPerBuffer) {
    bytesPerBuffer_ = static_cast<std::uint64_t>(std::max(bytesPerBuffer, 1));
    bytes_ = 0;
    buffers_ = 0;
}

SoundLost DroppedBytes::add(std::uint64_t bytes) {
    if (bytes == 0) {
        return {};
    }
    bytes_ += bytes;
    const auto buffers = static_cast<long long>((bytes_ + bytesPerBuffer_ / 2) / bytesPerBuffer_);
    const long long now = buffers - buffers_;
    buffers_ = buffers;
    return {true, now};
}

}  // namespace acquisition
