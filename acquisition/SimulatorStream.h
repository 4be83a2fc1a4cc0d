#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "FmTone.h"
#include "SimulatorSettings.h"
#include "platform/WaveInput.h"

namespace acquisition {

// An open input of the ECG front-end simulator: a producer thread of its own
// writes the FM tone into the queued buffers in queue order, marks each full
// one done and signals the owner's event.
//
// Who owns what:
// - A queued header and its data belong to the stream from addBuffer() until
//   the stream marks it done (a buffer it fills, or reset()); the client does
//   not touch them in between. Only the producer writes a buffer's data, and
//   it does so without the lock while `filling_` is set.
// - Everything else (the queue, the flags below, the pacing clock) is guarded
//   by `mutex_`. The tone belongs to the producer while `filling_` is set and
//   to whoever holds the lock otherwise.
// - The WaveSignal must outlive the stream's close(): the producer may set it
//   until the thread ends.
//
// The tone never loses samples: a starved stream (no buffer queued) pauses the
// signal instead of dropping it, so sample n after start() is always at
// t = n / sampleRate of the heart signal.
class SimulatorStream final : public platform::WaveInStream {
public:
    static constexpr std::size_t queueCapacity = 8;

    SimulatorStream(const platform::WaveFormat& format, platform::WaveSignal& signal,
                    const SimulatorSettings& settings);
    ~SimulatorStream() override;
    SimulatorStream(const SimulatorStream&) = delete;
    SimulatorStream& operator=(const SimulatorStream&) = delete;

    platform::MMResult prepare(platform::WaveHeader& header) override;
    platform::MMResult unprepare(platform::WaveHeader& header) override;
    platform::MMResult addBuffer(platform::WaveHeader& header) override;
    // Starts (or restarts after reset()) the tone at t = 0.
    platform::MMResult start() override;
    platform::MMResult reset() override;
    // Ends the producer thread; refused while buffers are still queued.
    platform::MMResult close() override;
    bool hasFailed() const override { return failed_.load(); }
    std::string failure() const override;
    static constexpr const char* failureText = "the simulated sound card was unplugged";

private:
    using Clock = std::chrono::steady_clock;

    void run();
    // Fills the header at the front of the queue and hands it back when the
    // wall clock reaches its end; true when it was completed.
    bool produce(std::unique_lock<std::mutex>& lock);
    Clock::time_point deadlineFor(std::size_t samples);
    void complete(platform::WaveHeader& header, std::size_t samples);
    void waitUntilIdle(std::unique_lock<std::mutex>& lock);
    // Stops delivering and hands every queued buffer back, as a device that
    // went away does.
    void endByItself(std::unique_lock<std::mutex>& lock);
    bool paced() const { return secondsPerSample_ > 0.0; }

    platform::WaveSignal& signal_;
    const int bitsPerSample_;
    const std::size_t blockAlign_;
    // Wall-clock seconds per sample, 0 when unpaced.
    const double secondsPerSample_;
    FmTone tone_;

    std::mutex mutex_;
    std::condition_variable wake_;  // the producer: work, reset or close
    std::condition_variable idle_;  // reset() and start(): the producer left a buffer
    std::array<platform::WaveHeader*, queueCapacity> queue_{};
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    bool running_ = false;
    bool filling_ = false;
    bool closing_ = false;
    bool closed_ = false;
    const long long failAfterBuffers_;
    long long completedBuffers_ = 0;
    std::atomic<bool> failed_{false};
    // Pacing: samples delivered since `base_`; the clock is set back to now
    // when the stream starts or resumes after starving.
    Clock::time_point base_{};
    std::size_t samplesSinceBase_ = 0;

    std::thread producer_;  // last: starts once everything above exists
};

}  // namespace acquisition
