#include "SimulatorStream.h"

#include <algorithm>
#include <cmath>

#include "SimulatorRoom.h"

namespace acquisition {

using namespace platform;

namespace {

double wallSecondsPerSample(const WaveFormat& format, double speed) {
    if (!(speed > 0.0) || std::isinf(speed) || format.samplesPerSec == 0) {
        return 0.0;
    }
    return 1.0 / (static_cast<double>(format.samplesPerSec) * speed);
}

void handBack(WaveHeader& header, std::uint32_t bytesRecorded) {
    header.bytesRecorded = bytesRecorded;
    const std::uint32_t flags = header.flags.load(std::memory_order_relaxed);
    header.flags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}

}  // namespace

SimulatorStream::SimulatorStream(const WaveFormat& format, WaveSignal& signal,
                                 const SimulatorSettings& settings)
    : signal_(signal),
      bitsPerSample_(format.bitsPerSample),
      blockAlign_(std::max<std::size_t>(1, format.blockAlign)),
      secondsPerSample_(wallSecondsPerSample(format, settings.speed)),
      tone_(HeartSignal(settings.heart), static_cast<double>(format.samplesPerSec),
            settings.amplitude),
      failAfterBuffers_(settings.failAfterBuffers) {
    tone_.setNoise(settings.lineNoise);
    tone_.setGain(settings.toneGain);
    producer_ = std::thread([this] { run(); });
}

SimulatorStream::~SimulatorStream() {
    reset();
    close();
}

MMResult SimulatorStream::prepare(WaveHeader& header) {
    std::lock_guard guard(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header.data == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    header.flags.fetch_or(WHDR_PREPARED, std::memory_order_acq_rel);
    return MMSYSERR_NOERROR;
}

MMResult SimulatorStream::unprepare(WaveHeader& header) {
    std::lock_guard guard(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if ((header.flags.load(std::memory_order_acquire) & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header.flags.fetch_and(~WHDR_PREPARED, std::memory_order_acq_rel);
    return MMSYSERR_NOERROR;
}

MMResult SimulatorStream::addBuffer(WaveHeader& header) {
    std::lock_guard guard(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    const std::uint32_t flags = header.flags.load(std::memory_order_acquire);
    if ((flags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    if (header.data == nullptr || header.bufferLength < blockAlign_) {
        return MMSYSERR_INVALPARAM;
    }
    if (count_ == queueCapacity) {
        return MMSYSERR_NOMEM;
    }
    header.bytesRecorded = 0;
    header.flags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE, std::memory_order_release);
    queue_[(head_ + count_) % queueCapacity] = &header;
    ++count_;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMResult SimulatorStream::start() {
    std::unique_lock lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (running_) {
        return MMSYSERR_NOERROR;
    }
    waitUntilIdle(lock);
    tone_.restart();
    completedBuffers_ = 0;
    failed_.store(false);
    base_ = Clock::now();
    samplesSinceBase_ = 0;
    running_ = true;
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMResult SimulatorStream::reset() {
    std::unique_lock lock(mutex_);
    if (closed_) {
        return MMSYSERR_INVALHANDLE;
    }
    running_ = false;
    wake_.notify_all();
    // The producer may be writing into the front buffer; once it has let go,
    // no buffer is written again until the next start().
    waitUntilIdle(lock);
    for (; count_ > 0; --count_) {
        handBack(*queue_[head_], 0);
        queue_[head_] = nullptr;
        head_ = (head_ + 1) % queueCapacity;
    }
    lock.unlock();
    signal_.set();
    return MMSYSERR_NOERROR;
}

MMResult SimulatorStream::close() {
    {
        std::lock_guard guard(mutex_);
        if (closed_) {
            return MMSYSERR_INVALHANDLE;
        }
        if (count_ > 0) {
            return WAVERR_STILLPLAYING;
        }
        closing_ = true;
        closed_ = true;
        wake_.notify_all();
    }
    producer_.join();
    return MMSYSERR_NOERROR;
}

void SimulatorStream::endByItself(std::unique_lock<std::mutex>&) {
    running_ = false;
    for (; count_ > 0; --count_) {
        handBack(*queue_[head_], 0);
        queue_[head_] = nullptr;
        head_ = (head_ + 1) % queueCapacity;
    }
    failed_.store(true);
}

std::string SimulatorStream::failure() const {
    return failed_.load() ? failureText : std::string();
}

void SimulatorStream::waitUntilIdle(std::unique_lock<std::mutex>& lock) {
    idle_.wait(lock, [this] { return !filling_; });
}

void SimulatorStream::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return closing_ || (running_ && count_ > 0); });
        if (closing_) {
            return;
        }
        if (produce(lock)) {
            completedBuffers_ += 1;
            if (failAfterBuffers_ >= 0 && completedBuffers_ >= failAfterBuffers_) {
                endByItself(lock);
            }
            lock.unlock();
            signal_.set();
            lock.lock();
        }
    }
}

SimulatorStream::Clock::time_point SimulatorStream::deadlineFor(std::size_t samples) {
    const Clock::time_point now = Clock::now();
    if (!paced()) {
        return now;
    }
    const auto endOf = [this](std::size_t sampleCount) {
        const std::chrono::duration<double> seconds(static_cast<double>(sampleCount) *
                                                    secondsPerSample_);
        return base_ + std::chrono::duration_cast<Clock::duration>(seconds);
    };
    // Starved for longer than this buffer lasts: the signal paused, so the
    // clock starts again from now rather than delivering a burst to catch up.
    if (now > endOf(samplesSinceBase_ + samples)) {
        base_ = now;
        samplesSinceBase_ = 0;
    }
    return endOf(samplesSinceBase_ + samples);
}

bool SimulatorStream::produce(std::unique_lock<std::mutex>& lock) {
    WaveHeader& header = *queue_[head_];
    const std::size_t samples = header.bufferLength / blockAlign_;
    const Clock::time_point deadline = deadlineFor(samples);
    filling_ = true;
    lock.unlock();
    const std::uint64_t position = tone_.nextSample();
    tone_.fill(header.data, samples, bitsPerSample_);
    SimulatorRoom::apply(header.data, samples, bitsPerSample_, position);
    lock.lock();
    const auto interrupted = [this] { return !running_ || closing_; };
    const bool stopped = paced() ? wake_.wait_until(lock, deadline, interrupted) : interrupted();
    if (!stopped) {
        complete(header, samples);
    }
    filling_ = false;
    idle_.notify_all();
    return !stopped;
}

void SimulatorStream::complete(WaveHeader& header, std::size_t samples) {
    queue_[head_] = nullptr;
    head_ = (head_ + 1) % queueCapacity;
    --count_;
    samplesSinceBase_ += samples;
    handBack(header, static_cast<std::uint32_t>(samples * blockAlign_));
}

}  // namespace acquisition
