#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "WaveInput.h"

namespace platform {

// The input queue of a capture device: headers the caller has added, filled by
// the device strictly in the order they were added.
//
// Who owns what:
// - The caller owns a header while it is not queued: it sets the data pointer
//   and length, prepares, unprepares and reads the data of completed buffers.
// - From add() until the header is marked done, its memory and bytesRecorded
//   belong to the device side (write() and returnAll()).
// - The flags word is atomic; marking a header done is a release store, so a
//   caller that sees WHDR_DONE (acquire) also sees the data written before it.
// The ring itself is guarded by one mutex held only for O(1) bookkeeping and
// the copy of one callback's frames; nothing here allocates, and the signal is
// set after the mutex is released.
class CaptureQueue {
public:
    // More than any user queues (the recorder keeps seven buffers queued).
    static constexpr std::size_t capacity = 32;

    explicit CaptureQueue(WaveSignal& signal) : signal_(signal) {}
    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    static MMResult prepare(WaveHeader& header);
    // WAVERR_STILLPLAYING while the header is queued.
    static MMResult unprepare(WaveHeader& header);

    // Appends a prepared header; it is filled after every header added before it.
    MMResult add(WaveHeader& header);
    // Device side: copies captured bytes into the headers at the front of the
    // queue, marking each full one done and signalling once per completed
    // buffer. Bytes that find the queue empty are dropped and counted; the
    // next header to get a byte carries their number (droppedBefore), so the
    // owner can place the buffers after them in time. A null `bytes` stands
    // for silence.
    void write(const char* bytes, std::size_t count);
    // Device side: `count` bytes the device itself lost (it overran while
    // nobody read it) are counted as dropped, as write() counts what finds
    // no buffer. They lie before the next byte written; should a buffer be
    // partly filled, the next header to get its first byte carries them,
    // so the lines after them stand within a buffer of their time.
    void drop(std::uint64_t count);
    // Marks every queued header done (a partly filled one keeps its
    // bytesRecorded), empties the queue and signals once if anything was
    // queued. Bytes dropped since the last header are forgotten: the stream
    // has stopped, and nothing follows them.
    void returnAll();
    // Sets the owner's event without handing anything back.
    void wakeOwner();

    std::size_t queued() const;

private:
    // Copies as much as fits into `header`; returns the number of bytes used.
    static std::size_t fill(WaveHeader& header, const char* bytes, std::size_t count);
    static void markDone(WaveHeader& header);
    void popFront();

    WaveSignal& signal_;
    mutable std::mutex mutex_;
    std::array<WaveHeader*, capacity> ring_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    // Bytes dropped since a header last got its first byte; guarded by
    // mutex_ as the ring is.
    std::uint64_t dropped_ = 0;
};

}  // namespace platform
