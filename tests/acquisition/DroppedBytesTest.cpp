#include "acquisition/DroppedBytes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace acquisition {
namespace {

// Callbacks that are not whole buffers: each drop counts to the nearest
// buffer of all bytes dropped so far, so that no line drifts by half a
// buffer however many small drops come.
TEST(DroppedBytes, CountWholeBuffersAndCarryTheRest) {
    constexpr int buffer = 8192;
    DroppedBytes dropped(buffer);
    EXPECT_FALSE(dropped.add(0).any);
    EXPECT_EQ(dropped.add(2 * buffer + 3000).buffers, 2);
    EXPECT_EQ(dropped.add(2000).buffers, 1);
    const SoundLost small = dropped.add(100);
    EXPECT_TRUE(small.any);
    EXPECT_EQ(small.buffers, 0);
    long long total = 3;
    for (int i = 0; i < 1000; ++i) {
        total += dropped.add(1000).buffers;
    }
    EXPECT_EQ(total, std::lround((2 * buffer + 5100 + 1'000'000) / static_cast<double>(buffer)));
    dropped.reset(4096);
    EXPECT_EQ(dropped.add(2047).buffers, 0);
}

}  // namespace
}  // namespace acquisition
