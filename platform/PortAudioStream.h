#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include <cstddef>
#include <memory>

#include "CaptureQueue.h"
#include "WaveInput.h"

namespace platform {

class PortAudioSession;

// What a capture stream is opened with, in PortAudio's terms but without its
// header, so that only the sources of this layer see PortAudio.
struct PortAudioCapture {
    int device = 0;  // PortAudio device index
    int channels = 1;
    int bitsPerSample = 16;  // 8: unsigned bytes; 16: signed little-endian
    double sampleRate = 0.0;
};

// An open PortAudio capture stream shaped like a wave-input handle.
//
// The audio thread only runs the two callbacks: onFrames() copies what arrived
// into the input queue (see CaptureQueue for who owns which state), counting
// as dropped what the device lost when PortAudio reports that it overran, and
// onFinished() returns every queued buffer when the stream ends, whether it
// was stopped or ended by itself. PortAudio runs neither callback after
// Pa_StopStream or Pa_CloseStream has returned, so reset() and close() leave
// the device with no buffer to write into.
//
// A device that goes away does not always end the stream: PortAudio's ALSA
// thread retries a card that was pulled out for ever, without a pause and
// without heeding a stop, and a sound server that went away may simply
// deliver nothing. So while the stream runs, a watchdog thread marks it failed
// when no frame has arrived for `silenceLimit`; and stopping is bounded: when
// PortAudio has not stopped the audio thread within `stopLimit`, the stream is
// left to it. Its callbacks are cut off from this object first, and what they
// reach (the link) and the PortAudio session stay for the life of the process,
// so that nothing joins that thread again, not even at exit.
class PortAudioStream final : public WaveInStream {
public:
    // Frames per callback, which PortAudio makes ALSA's period: one buffer
    // of the recorder at the default settings, so that the audio thread
    // wakes once a buffer (48.75 times a second at 199680 samples/s) and
    // not four times. A fixed power of two keeps every read the driver makes
    // a whole power of two as well. It stays within what the recorder keeps
    // queued at its smallest buffers (7 of 1024 samples), so no frame finds
    // the queue empty while the capture worker keeps up; what a worker that
    // fell further behind could not take is dropped and counted (see
    // CaptureQueue::write). Callbacks need not line up with the recorder's
    // buffers: the queue fills them across callbacks and hands a buffer over
    // only once it is full, so a short callback never makes a value, and
    // values come exactly as fast as the device delivers frames.
    static constexpr unsigned long framesPerCallback = 4096;
    // How long a running stream may deliver nothing before it counts as
    // failed; a working device calls back every few milliseconds.
    static constexpr std::chrono::milliseconds silenceLimit{3000};
    // How often the watchdog looks at most; a wake later than planned by
    // more than this means the process itself was not running.
    static constexpr std::chrono::milliseconds watchStep{500};
    // How long stopping waits for PortAudio to end the audio thread.
    static constexpr std::chrono::milliseconds stopLimit{2000};

    // Opens a capture stream; returns PortAudio's result (a PaError, 0 on
    // success) and leaves `stream` empty on failure.
    static int open(std::unique_ptr<PortAudioStream>& stream,
                    std::shared_ptr<const PortAudioSession> session,
                    const PortAudioCapture& capture, WaveSignal& signal);

    // Built only by open(); the key keeps the constructor out of other hands.
    class Key {
        friend class PortAudioStream;
        Key() = default;
    };
    PortAudioStream(Key, std::shared_ptr<const PortAudioSession> session, WaveSignal& signal,
                    std::size_t bytesPerFrame, double sampleRate);
    ~PortAudioStream() override;
    PortAudioStream(const PortAudioStream&) = delete;
    PortAudioStream& operator=(const PortAudioStream&) = delete;

    MMResult prepare(WaveHeader& header) override;
    MMResult unprepare(WaveHeader& header) override;
    MMResult addBuffer(WaveHeader& header) override;
    MMResult start() override;
    MMResult reset() override;
    MMResult close() override;
    bool hasFailed() const override;
    std::string failure() const override;
    // True once the stream has been left to a PortAudio thread that would not stop.
    bool abandoned() const { return abandoned_; }

#ifdef TRELMONT_TEST_HOOKS
    // For tests: watchdogs wake no earlier than `time` from now, as when
    // the whole process was stopped for that long.
    static void holdWatchdogForTests(std::chrono::milliseconds time);
#endif

    // The callbacks' entry points, on the audio thread only. `adcTime` is
    // the host's time of the first frame (0: unknown); `overflowed` says the
    // device lost frames before them.
    void onFrames(const void* input, unsigned long frames, double adcTime,
                  bool overflowed) noexcept;
    void onFinished() noexcept;

    // What PortAudio's callbacks are given: the stream while it is ours,
    // nothing once it has been left to PortAudio.
    struct Link {
        std::mutex mutex;
        PortAudioStream* stream = nullptr;
    };

private:
    using Clock = std::chrono::steady_clock;

    void stopDevice();
    void abandon();
    void noteFailure(std::string text);
    void startWatchdog();
    void stopWatchdog();
    void watch(const std::stop_token& stop);
    Clock::time_point lastFramesAt() const;
    std::uint64_t framesLost(double adcTime, Clock::time_point now) const;

    // Kept so that PortAudio outlives every stream opened through it.
    std::shared_ptr<const PortAudioSession> session_;
    CaptureQueue queue_;
    std::size_t bytesPerFrame_;
    double sampleRate_;
    double latencySeconds_ = 0.0;  // the device's input latency, set before any start
    void* handle_ = nullptr;       // the PaStream, closed by close() or the destructor
    std::shared_ptr<Link> link_;
    bool abandoned_ = false;  // owner's thread only
    // Set before we stop the stream, so that its end is not taken for a
    // failure.
    std::atomic<bool> stopping_{false};
    // Why the stream failed, empty while it has not; written by the audio
    // thread or the watchdog, read by the owner.
    mutable std::mutex failureMutex_;
    std::string failure_;
    // When frames last arrived (Clock ticks), written by the audio thread and
    // read by the watchdog.
    std::atomic<Clock::rep> lastFrames_{0};
    // The audio thread's alone while the stream runs (start() resets it
    // before PortAudio starts that thread): the host's time where the frames
    // delivered so far end (0: unknown), and when they were delivered.
    double nextAdcTime_ = 0.0;
    Clock::time_point previousCall_{};
    // The watchdog runs from start() to stopDevice(); both run on the owner's
    // thread. watchMutex_ and watchWake_ only let its waits end early.
    std::mutex watchMutex_;
    std::condition_variable_any watchWake_;
    std::jthread watchdog_;
};

}  // namespace platform
