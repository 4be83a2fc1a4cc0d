#include "CaptureQueue.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

bool hasFlag(const WaveHeader& header, std::uint32_t flag) {
    return (header.flags.load(std::memory_order_acquire) & flag) != 0;
}

}  // namespace

MMResult CaptureQueue::prepare(WaveHeader& header) {
    if (header.data == nullptr || header.bufferLength == 0) {
        return MMSYSERR_INVALPARAM;
    }
    header.flags.fetch_or(WHDR_PREPARED, std::memory_order_acq_rel);
    return MMSYSERR_NOERROR;
}

MMResult CaptureQueue::unprepare(WaveHeader& header) {
    if (hasFlag(header, WHDR_INQUEUE)) {
        return WAVERR_STILLPLAYING;
    }
    header.flags.fetch_and(~WHDR_PREPARED, std::memory_order_acq_rel);
    return MMSYSERR_NOERROR;
}

MMResult CaptureQueue::add(WaveHeader& header) {
    if (!hasFlag(header, WHDR_PREPARED)) {
        return WAVERR_UNPREPARED;
    }
    if (hasFlag(header, WHDR_INQUEUE)) {
        return WAVERR_STILLPLAYING;
    }
    std::lock_guard guard(mutex_);
    if (count_ == capacity) {
        return MMSYSERR_NOMEM;
    }
    header.bytesRecorded = 0;
    header.droppedBefore = 0;
    const std::uint32_t flags = header.flags.load(std::memory_order_relaxed);
    header.flags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE, std::memory_order_release);
    ring_[(head_ + count_) % capacity] = &header;
    ++count_;
    return MMSYSERR_NOERROR;
}

std::size_t CaptureQueue::fill(WaveHeader& header, const char* bytes, std::size_t count) {
    const std::size_t room = header.bufferLength - header.bytesRecorded;
    const std::size_t n = std::min(room, count);
    char* target = header.data + header.bytesRecorded;
    if (bytes != nullptr) {
        std::memcpy(target, bytes, n);
    } else {
        std::memset(target, 0, n);
    }
    header.bytesRecorded += static_cast<std::uint32_t>(n);
    return n;
}

void CaptureQueue::markDone(WaveHeader& header) {
    const std::uint32_t flags = header.flags.load(std::memory_order_relaxed);
    header.flags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}

void CaptureQueue::popFront() {
    ring_[head_] = nullptr;
    head_ = (head_ + 1) % capacity;
    --count_;
}

void CaptureQueue::write(const char* bytes, std::size_t count) {
    std::size_t completed = 0;
    {
        std::lock_guard guard(mutex_);
        while (count > 0 && count_ > 0) {
            WaveHeader& front = *ring_[head_];
            if (front.bytesRecorded == 0) {
                front.droppedBefore = dropped_;
                dropped_ = 0;
            }
            const std::size_t used = fill(front, bytes, count);
            count -= used;
            if (bytes != nullptr) {
                bytes += used;
            }
            if (front.bytesRecorded == front.bufferLength) {
                markDone(front);
                popFront();
                ++completed;
            }
        }
        dropped_ += count;
    }
    for (std::size_t i = 0; i < completed; ++i) {
        signal_.set();
    }
}

void CaptureQueue::drop(std::uint64_t count) {
    std::lock_guard guard(mutex_);
    dropped_ += count;
}

void CaptureQueue::returnAll() {
    bool returned = false;
    {
        std::lock_guard guard(mutex_);
        returned = count_ > 0;
        dropped_ = 0;
        while (count_ > 0) {
            markDone(*ring_[head_]);
            popFront();
        }
    }
    if (returned) {
        signal_.set();
    }
}

void CaptureQueue::wakeOwner() {
    signal_.set();
}

std::size_t CaptureQueue::queued() const {
    std::lock_guard guard(mutex_);
    return count_;
}

}  // namespace platform
