#include "platform/CaptureQueue.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

namespace platform {
namespace {

class CountingSignal final : public WaveSignal {
public:
    void set() override { ++count; }
    int count = 0;
};

// A header over its own memory, prepared and ready to queue.
struct Buffer {
    explicit Buffer(std::size_t size) : memory(size, '\0') {
        header.data = memory.data();
        header.bufferLength = static_cast<std::uint32_t>(size);
        CaptureQueue::prepare(header);
    }
    std::uint32_t flags() const { return header.flags.load(); }
    std::vector<char> memory;
    WaveHeader header;
};

std::vector<char> ramp(std::size_t size) {
    std::vector<char> bytes(size);
    std::iota(bytes.begin(), bytes.end(), '\x01');
    return bytes;
}

TEST(CaptureQueue, FillsBuffersInQueueOrderAcrossWrites) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    Buffer first(6), second(6), third(6);
    ASSERT_EQ(queue.add(first.header), MMSYSERR_NOERROR);
    ASSERT_EQ(queue.add(second.header), MMSYSERR_NOERROR);
    ASSERT_EQ(queue.add(third.header), MMSYSERR_NOERROR);

    // Writes of 4 bytes never line up with the 6-byte buffers.
    const std::vector<char> data = ramp(16);
    for (std::size_t offset = 0; offset < data.size(); offset += 4) {
        queue.write(data.data() + offset, 4);
    }

    EXPECT_EQ(first.memory, std::vector<char>(data.begin(), data.begin() + 6));
    EXPECT_EQ(second.memory, std::vector<char>(data.begin() + 6, data.begin() + 12));
    EXPECT_EQ(std::vector<char>(third.memory.begin(), third.memory.begin() + 4),
              std::vector<char>(data.begin() + 12, data.end()));
    EXPECT_EQ(first.flags(), WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(second.flags(), WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(third.flags(), WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(third.header.bytesRecorded, 4U);
    EXPECT_EQ(signal.count, 2);
    EXPECT_EQ(queue.queued(), 1U);
}

TEST(CaptureQueue, OneWriteCanCompleteSeveralBuffers) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    Buffer first(4), second(4);
    queue.add(first.header);
    queue.add(second.header);
    const std::vector<char> data = ramp(10);
    queue.write(data.data(), data.size());
    EXPECT_TRUE(first.header.done());
    EXPECT_TRUE(second.header.done());
    EXPECT_EQ(second.memory, std::vector<char>(data.begin() + 4, data.begin() + 8));
    EXPECT_EQ(signal.count, 2);
    EXPECT_EQ(queue.queued(), 0U);
}

// What finds nothing queued is dropped, and counted on the buffer filled
// next, whichever callbacks brought it: the owner places that buffer after
// the gap.
TEST(CaptureQueue, DropsWhatArrivesWhileNothingIsQueuedAndCountsItOnTheNextBuffer) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    Buffer first(4), second(4), third(4);
    queue.add(first.header);
    const std::vector<char> early = ramp(9);
    queue.write(early.data(), 6);
    queue.write(early.data() + 6, 3);
    queue.add(second.header);
    queue.add(third.header);
    const std::vector<char> late(8, '\x7f');
    queue.write(late.data(), late.size());
    EXPECT_EQ(second.memory, std::vector<char>(4, '\x7f'));
    EXPECT_EQ(first.header.droppedBefore, 0U);
    EXPECT_EQ(second.header.droppedBefore, 5U);
    EXPECT_EQ(third.header.droppedBefore, 0U);
    EXPECT_EQ(signal.count, 3);

    // Dropped before a stop is forgotten; a buffer queued again carries no
    // count of before.
    queue.write(late.data(), 2);
    queue.returnAll();
    queue.add(second.header);
    queue.write(late.data(), 4);
    EXPECT_EQ(second.header.droppedBefore, 0U);
}

// What the device lost itself (an overrun) mid-buffer: the buffer being
// filled goes on with what comes next, and the next buffer to start carries
// the loss, together with what found no buffer queued. Nothing is signalled
// for a loss alone.
TEST(CaptureQueue, BytesTheDeviceLostAreCountedOnTheNextBufferToStart) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    Buffer first(4), second(4);
    queue.add(first.header);
    const std::vector<char> bytes = ramp(8);
    queue.write(bytes.data(), 2);
    queue.drop(100);
    EXPECT_EQ(signal.count, 0);
    queue.write(bytes.data() + 2, 5);
    queue.drop(7);
    queue.add(second.header);
    queue.write(bytes.data(), 4);
    EXPECT_EQ(first.header.droppedBefore, 0U);
    EXPECT_EQ(first.memory, std::vector<char>(bytes.begin(), bytes.begin() + 4));
    EXPECT_EQ(second.header.droppedBefore, 100U + 3U + 7U);
    EXPECT_EQ(signal.count, 2);
}

TEST(CaptureQueue, SilenceFillsWithZeros) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    Buffer buffer(4);
    buffer.memory.assign(4, '\x55');
    queue.add(buffer.header);
    queue.write(nullptr, 4);
    EXPECT_EQ(buffer.memory, std::vector<char>(4, '\0'));
    EXPECT_TRUE(buffer.header.done());
}

TEST(CaptureQueue, ReturnAllHandsBackEveryQueuedBufferAndSignalsOnce) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    Buffer partial(8), untouched(8);
    queue.add(partial.header);
    queue.add(untouched.header);
    const std::vector<char> data = ramp(3);
    queue.write(data.data(), data.size());

    queue.returnAll();
    EXPECT_EQ(partial.flags(), WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(untouched.flags(), WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(partial.header.bytesRecorded, 3U);
    EXPECT_EQ(untouched.header.bytesRecorded, 0U);
    EXPECT_EQ(signal.count, 1);
    EXPECT_EQ(queue.queued(), 0U);

    // Nothing is written any more, and an empty queue does not signal again.
    const std::vector<char> more(8, '\x33');
    queue.write(more.data(), more.size());
    queue.returnAll();
    EXPECT_EQ(partial.memory[3], '\0');
    EXPECT_EQ(signal.count, 1);
}

TEST(CaptureQueue, RequeuedBufferStartsEmptyAndLosesItsDoneFlag) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    Buffer buffer(4);
    queue.add(buffer.header);
    const std::vector<char> data = ramp(4);
    queue.write(data.data(), 4);
    ASSERT_TRUE(buffer.header.done());

    ASSERT_EQ(queue.add(buffer.header), MMSYSERR_NOERROR);
    EXPECT_FALSE(buffer.header.done());
    EXPECT_EQ(buffer.header.bytesRecorded, 0U);
    queue.write(data.data(), 2);
    EXPECT_EQ(buffer.header.bytesRecorded, 2U);
}

TEST(CaptureQueue, HeaderRulesFollowTheWaveInputService) {
    CountingSignal signal;
    CaptureQueue queue(signal);

    WaveHeader empty;
    EXPECT_EQ(CaptureQueue::prepare(empty), MMSYSERR_INVALPARAM);
    EXPECT_EQ(queue.add(empty), WAVERR_UNPREPARED);

    Buffer buffer(4);
    ASSERT_EQ(queue.add(buffer.header), MMSYSERR_NOERROR);
    EXPECT_EQ(queue.add(buffer.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(CaptureQueue::unprepare(buffer.header), WAVERR_STILLPLAYING);
    EXPECT_EQ(queue.queued(), 1U);

    queue.returnAll();
    EXPECT_EQ(CaptureQueue::unprepare(buffer.header), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.flags(), WHDR_DONE);
    EXPECT_EQ(queue.add(buffer.header), WAVERR_UNPREPARED);
}

TEST(CaptureQueue, RefusesMoreThanItsCapacity) {
    CountingSignal signal;
    CaptureQueue queue(signal);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (std::size_t i = 0; i <= CaptureQueue::capacity; ++i) {
        buffers.push_back(std::make_unique<Buffer>(2));
    }
    for (std::size_t i = 0; i < CaptureQueue::capacity; ++i) {
        ASSERT_EQ(queue.add(buffers[i]->header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(queue.add(buffers.back()->header), MMSYSERR_NOMEM);
    EXPECT_FALSE(buffers.back()->flags() & WHDR_INQUEUE);

    // The ring wraps: after one completes, the spare one is taken and filled last.
    const std::vector<char> two(2, '\x11');
    queue.write(two.data(), 2);
    ASSERT_EQ(queue.add(buffers.back()->header), MMSYSERR_NOERROR);
    const std::vector<char> rest(2 * CaptureQueue::capacity, '\x22');
    queue.write(rest.data(), rest.size());
    for (const auto& buffer : buffers) {
        EXPECT_TRUE(buffer->header.done());
    }
    EXPECT_EQ(buffers.back()->memory, std::vector<char>(2, '\x22'));
}

}  // namespace
}  // namespace platform
