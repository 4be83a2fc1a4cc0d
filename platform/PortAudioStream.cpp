#include "PortAudioStream.h"

#include <portaudio.h>

#include <bit>
#include <utility>

#include "PortAudioSession.h"

namespace platform {

// PortAudio hands over 16-bit samples in the machine's byte order; the wave
// format promises little-endian ones.
static_assert(std::endian::native == std::endian::little,
              "16-bit capture data would need byte swapping on this machine");

namespace {

int captureCallback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                    PaStreamCallbackFlags, void* self) {
    static_cast<PortAudioStream*>(self)->onFrames(input, frames);
    return paContinue;
}

void finishedCallback(void* self) {
    static_cast<PortAudioStream*>(self)->onFinished();
}

PaStreamParameters inputParameters(const PortAudioCapture& capture) {
    PaStreamParameters parameters{};
    parameters.device = capture.device;
    parameters.channelCount = capture.channels;
    parameters.sampleFormat = capture.bitsPerSample == 8 ? paUInt8 : paInt16;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(capture.device);
    // The recorder keeps seven buffers queued, so latency costs nothing here;
    // the device's high-latency setting leaves the widest margin for delays.
    parameters.suggestedLatency = info != nullptr ? info->defaultHighInputLatency : 0.1;
    parameters.hostApiSpecificStreamInfo = nullptr;
    return parameters;
}

}  // namespace

PortAudioStream::PortAudioStream(Key, std::shared_ptr<const PortAudioSession> session,
                                 WaveSignal& signal, std::size_t bytesPerFrame)
    : session_(std::move(session)), queue_(signal), bytesPerFrame_(bytesPerFrame) {}

int PortAudioStream::open(std::unique_ptr<PortAudioStream>& stream,
                          std::shared_ptr<const PortAudioSession> session,
                          const PortAudioCapture& capture, WaveSignal& signal) {
    const auto bytesPerFrame = static_cast<std::size_t>(capture.channels) *
                               static_cast<std::size_t>(capture.bitsPerSample / 8);
    auto opened =
        std::make_unique<PortAudioStream>(Key{}, std::move(session), signal, bytesPerFrame);
    const PaStreamParameters parameters = inputParameters(capture);
    PaStream* handle = nullptr;
    const PaError error =
        Pa_OpenStream(&handle, &parameters, nullptr, capture.sampleRate, framesPerCallback,
                      paClipOff | paDitherOff, captureCallback, opened.get());
    if (error != paNoError) {
        return error;
    }
    opened->handle_ = handle;
    Pa_SetStreamFinishedCallback(handle, finishedCallback);
    stream = std::move(opened);
    return paNoError;
}

PortAudioStream::~PortAudioStream() {
    close();
}

void PortAudioStream::onFrames(const void* input, unsigned long frames) noexcept {
    queue_.write(static_cast<const char*>(input), frames * bytesPerFrame_);
}

void PortAudioStream::onFinished() noexcept {
    if (!stopping_.load()) {
        noteFailure();
    }
    queue_.returnAll();
    if (failed_.load()) {
        // The owner learns of the end even when no buffer was queued.
        queue_.wakeOwner();
    }
}

void PortAudioStream::noteFailure() {
    std::string text = "the capture stream ended by itself";
    const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
    if (info != nullptr && info->errorText != nullptr && info->errorText[0] != '\0') {
        text += " (";
        text += info->errorText;
        text += ")";
    }
    {
        std::lock_guard guard(failureMutex_);
        failure_ = std::move(text);
    }
    failed_.store(true);
}

std::string PortAudioStream::failure() const {
    std::lock_guard guard(failureMutex_);
    return failure_;
}

MMResult PortAudioStream::prepare(WaveHeader& header) {
    return CaptureQueue::prepare(header);
}

MMResult PortAudioStream::unprepare(WaveHeader& header) {
    return CaptureQueue::unprepare(header);
}

MMResult PortAudioStream::addBuffer(WaveHeader& header) {
    if (handle_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    return queue_.add(header);
}

MMResult PortAudioStream::start() {
    if (handle_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (Pa_IsStreamActive(handle_) == 1) {
        return MMSYSERR_NOERROR;
    }
    // A stream that ended by itself has to be stopped before it starts again.
    stopDevice();
    failed_.store(false);
    stopping_.store(false);
    return Pa_StartStream(handle_) == paNoError ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

void PortAudioStream::stopDevice() {
    stopping_.store(true);
    if (Pa_IsStreamStopped(handle_) == 0) {
        Pa_StopStream(handle_);
    }
}

MMResult PortAudioStream::reset() {
    if (handle_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    stopDevice();
    // The finished callback has normally returned everything already; what is
    // left (the stream had never started) goes back here.
    queue_.returnAll();
    return MMSYSERR_NOERROR;
}

MMResult PortAudioStream::close() {
    if (handle_ == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    reset();
    const PaError error = Pa_CloseStream(handle_);
    handle_ = nullptr;
    return error == paNoError ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

}  // namespace platform
