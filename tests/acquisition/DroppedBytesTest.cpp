#include "acquisition/DroppedBytes.h"

#include <gtest/gtest.h>

namespace acquisition {
namespace {

// Callbacks that are not whole buffers: what is dropped counts to the nearest
// buffer of all dropped so far, so that many small drops never add up to a
// drift.
TEST(DroppedBytes, CountWholeBuffersAndCarryTheRest) {
    DroppedBytes dropped(1000);
    EXPECT_FALSE(dropped.add(0).any);
    EXPECT_EQ(dropped.add(2400).buffers, 2);
    EXPECT_EQ(dropped.add(200).buffers, 1);
    const SoundLost small = dropped.add(100);
    EXPECT_TRUE(small.any);
    EXPECT_EQ(small.buffers, 0);
    long long total = 0;
    for (int i = 0; i < 1000; ++i) {
        total += dropped.add(333).buffers;
    }
    EXPECT_EQ(total, 333);
}

}  // namespace
}  // namespace acquisition
