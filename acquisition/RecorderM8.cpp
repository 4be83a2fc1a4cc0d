#include "RecorderM8.h"

namespace acquisition {

int RecorderM8::sample(const char* data, int index) const {
    const auto byte = static_cast<unsigned char>(data[index]);
    return (static_cast<int>(byte) - 128) * 64;
}

}  // namespace acquisition
