#include "RecorderM16.h"

#include <cstdint>

namespace acquisition {

namespace {

int decode(const char* data, int index) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data) + 2 * index;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
}

}  // namespace

int RecorderM16::sample(const char* data, int index) const {
    return decode(data, index);
}

void RecorderM16::samples(const char* data, int first, int count, int* out) const {
    for (int i = 0; i < count; ++i) {
        out[i] = decode(data, first + i);
    }
}

}  // namespace acquisition
