#include "RecorderM16.h"

#include <cstdint>

namespace acquisition {

int RecorderM16::sample(const char* data, int index) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data) + 2 * index;
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
}

}  // namespace acquisition
