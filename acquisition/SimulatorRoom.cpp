#include "SimulatorRoom.h"

#include <algorithm>
#include <mutex>

namespace acquisition {

#ifdef TRELMONT_TEST_HOOKS

namespace {

std::mutex roomMutex;
std::shared_ptr<const std::vector<std::int16_t>> roomSound;
std::uint64_t roomFrom = 0;

}  // namespace

void SimulatorRoom::apply(char* data, std::size_t samples, int bitsPerSample,
                          std::uint64_t position) {
    std::shared_ptr<const std::vector<std::int16_t>> sound;
    std::uint64_t from = 0;
    {
        const std::lock_guard guard(roomMutex);
        sound = roomSound;
        from = roomFrom;
    }
    if (!sound || bitsPerSample != 16) {
        return;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    for (std::size_t i = 0; i < samples; ++i) {
        const std::uint64_t at = position + i;
        if (at < from || at >= sound->size()) {
            continue;
        }
        const auto word = static_cast<std::uint16_t>((*sound)[static_cast<std::size_t>(at)]);
        bytes[2 * i] = static_cast<unsigned char>(word & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(word >> 8);
    }
}

void SimulatorRoom::setForTests(std::shared_ptr<const std::vector<std::int16_t>> sound,
                                std::uint64_t from) {
    const std::lock_guard guard(roomMutex);
    roomSound = std::move(sound);
    roomFrom = from;
}

#endif

}  // namespace acquisition
