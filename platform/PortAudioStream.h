#pragma once

#include <atomic>
#include <mutex>
#include <string>

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
// into the input queue (see CaptureQueue for who owns which state) and
// onFinished() returns every queued buffer when the stream ends, whether it
// was stopped or ended by itself. PortAudio runs neither callback after
// Pa_StopStream or Pa_CloseStream has returned, so reset() and close() leave
// the device with no buffer to write into.
class PortAudioStream final : public WaveInStream {
public:
    // Frames per callback. A fixed power of two keeps ALSA's periods, and so
    // every read the driver makes, a whole power of two as well.
    static constexpr unsigned long framesPerCallback = 1024;

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
                    std::size_t bytesPerFrame);
    ~PortAudioStream() override;
    PortAudioStream(const PortAudioStream&) = delete;
    PortAudioStream& operator=(const PortAudioStream&) = delete;

    MMResult prepare(WaveHeader& header) override;
    MMResult unprepare(WaveHeader& header) override;
    MMResult addBuffer(WaveHeader& header) override;
    MMResult start() override;
    MMResult reset() override;
    MMResult close() override;
    bool hasFailed() const override { return failed_.load(); }
    std::string failure() const override;

    // The callbacks' entry points, on the audio thread only.
    void onFrames(const void* input, unsigned long frames) noexcept;
    void onFinished() noexcept;

private:
    void stopDevice();
    void noteFailure();

    // Kept so that PortAudio outlives every stream opened through it.
    std::shared_ptr<const PortAudioSession> session_;
    CaptureQueue queue_;
    std::size_t bytesPerFrame_;
    void* handle_ = nullptr;  // the PaStream, closed by close() or the destructor
    // Set before we stop the stream, so that its end is not taken for a
    // failure; the failure and its text are written on the audio thread.
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    mutable std::mutex failureMutex_;
    std::string failure_;
};

}  // namespace platform
