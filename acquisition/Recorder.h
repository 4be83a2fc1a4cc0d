#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "CaptureOutcome.h"
#include "platform/WaveInput.h"

namespace acquisition {

// The open wave-input device and the result of its last open. Open exactly
// when status is MMSYSERR_NOERROR; MMSYSERR_BADDEVICEID stands for closed.
struct WaveInDevice {
    std::unique_ptr<platform::WaveInStream> stream;
    platform::MMResult status = platform::MMSYSERR_BADDEVICEID;

    bool isOpen() const { return status == platform::MMSYSERR_NOERROR && stream != nullptr; }
};

// Captures mono PCM from wave-input device 0 into a ring of eight equal
// buffers: seven queued with the device, one held by the reader (the buffer
// completed last). Not thread-safe by itself: the capture worker calls it only
// under its own lock.
class Recorder {
public:
    static constexpr int bufferCount = 8;
    static constexpr unsigned deviceId = 0;
    static constexpr std::size_t errorTextSize = 164;

    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    virtual ~Recorder();

    // Opens device 0 with the format and starts capture; Refused, with what
    // the device said, when it refuses.
    CaptureOutcome start(platform::WaveSignal& event);
    // Hands the buffer completed before the current one back to the device and
    // moves on; the current buffer is then out of the device's reach.
    void recycleCurrent();
    // Ends capture, takes every buffer back from the device and closes it.
    void stop();

    bool isRecording() const { return isRecording_; }
    bool currentBufferDone() const;
    // Done and filled to its end.
    bool currentBufferComplete() const;
    // Whether the open device stopped delivering by itself, and what it said.
    bool deviceFailed() const;
    std::string deviceFailure() const;
    const char* currentBufferData() const;
    // The bytes the device dropped just before the current buffer, for want
    // of a queued buffer.
    std::uint64_t bytesDroppedBeforeCurrent() const;
    int currentBuffer() const { return currentBuffer_; }
    int samplesPerBuffer() const { return samplesPerBuffer_; }
    int sampleRate() const { return sampleRate_; }
    int bitsPerSample() const { return bitsPerSample_; }
    int bytesPerBuffer() const { return bytesPerBuffer_; }
    std::size_t dataSize() const { return data_.size(); }
    const platform::WaveHeader& header(int i) const {
        return headers_[static_cast<std::size_t>(i)];
    }

    // Sample `index` of a buffer, as a signed integer.
    virtual int sample(const char* data, int index) const = 0;
    // Samples `first` to `first + count - 1` of a buffer into `out`: what
    // sample() gives, a run at a time, for the analysis of every buffer.
    virtual void samples(const char* data, int first, int count, int* out) const;

    platform::WaveFormat waveFormat() const;

protected:
    Recorder(platform::WaveInput& input, int samplesPerBuffer, int sampleRate, int bitsPerSample);

private:
    void queueBuffer(int i);
    void unprepareAll();

    platform::WaveInput& input_;
    bool isRecording_ = false;
    WaveInDevice device_;
    int sampleRate_;
    int samplesPerBuffer_;
    int channels_ = 1;
    int bitsPerSample_;
    int blockAlign_;
    int bytesPerBuffer_;
    int currentBuffer_ = 0;
    std::vector<char> data_;
    std::array<platform::WaveHeader, bufferCount> headers_{};
};

}  // namespace acquisition
