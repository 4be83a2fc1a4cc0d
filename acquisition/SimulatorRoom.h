#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace acquisition {

// In test builds, puts the simulator's tone through a room: the samples it
// fills are replaced by a recording of the same tone made in a room (echoes,
// noise, a phone's gain control), sample for sample, so that a live
// recording can be made of a disturbed tone. In the program people run it
// does nothing.
class SimulatorRoom {
public:
#ifdef TRELMONT_TEST_HOOKS
    // Called by the simulator's producer after it filled `samples` samples
    // of `bitsPerSample` bits, the first being sample `position` of its tone.
    static void apply(char* data, std::size_t samples, int bitsPerSample, std::uint64_t position);
    // For tests: 16-bit samples from `from` on are replaced by those of
    // `sound` at the same positions, up to its end; null: none are.
    static void setForTests(std::shared_ptr<const std::vector<std::int16_t>> sound,
                            std::uint64_t from);
#else
    static void apply(char*, std::size_t, int, std::uint64_t) {}
#endif
};

}  // namespace acquisition
