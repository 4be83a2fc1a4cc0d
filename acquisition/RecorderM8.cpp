#include "RecorderM8.h"

namespace acquisition {

namespace {

int decode(const char* data, int index) {
    const auto byte = static_cast<unsigned char>(data[index]);
    return (static_cast<int>(byte) - 128) * 64;
}

}  // namespace

int RecorderM8::sample(const char* data, int index) const {
    return decode(data, index);
}

void RecorderM8::samples(const char* data, int first, int count, int* out) const {
    for (int i = 0; i < count; ++i) {
        out[i] = decode(data, first + i);
    }
}

}  // namespace acquisition
