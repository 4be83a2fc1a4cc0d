#include "Recorder.h"

namespace acquisition {

using namespace platform;

namespace {

constexpr const char* formatNotSupported = "Format not supported";
constexpr const char* deviceInUse =
    "Another application is recording audio. Stop recording with this other application and "
    "then try to record with Trelmont Recorder again.";

}  // namespace

Recorder::Recorder(WaveInput& input, int samplesPerBuffer, int sampleRate, int bitsPerSample)
    : input_(input),
      sampleRate_(sampleRate),
      samplesPerBuffer_(samplesPerBuffer),
      bitsPerSample_(bitsPerSample),
      blockAlign_(channels_ * bitsPerSample / 8),
      bytesPerBuffer_(samplesPerBuffer * channels_ * bitsPerSample / 8),
      data_(static_cast<std::size_t>(bufferCount) * static_cast<std::size_t>(bytesPerBuffer_)) {}

Recorder::~Recorder() {
    // stop() takes every buffer back and closes the device, so the memory the
    // headers point into is no longer the device's when it is freed.
    stop();
    device_.stream.reset();
}

WaveFormat Recorder::waveFormat() const {
    WaveFormat format;
    format.formatTag = WAVE_FORMAT_PCM;
    format.channels = static_cast<std::uint16_t>(channels_);
    format.samplesPerSec = static_cast<std::uint32_t>(sampleRate_);
    format.avgBytesPerSec =
        static_cast<std::uint32_t>(channels_ * sampleRate_ * bitsPerSample_ / 8);
    format.blockAlign = static_cast<std::uint16_t>(blockAlign_);
    format.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample_);
    format.extraSize = 0;
    return format;
}

CaptureOutcome Recorder::start(WaveSignal& event) {
    const WaveFormat format = waveFormat();
    if (input_.query(deviceId, format) != MMSYSERR_NOERROR) {
        return {CaptureOutcome::Status::Refused, formatNotSupported};
    }
    device_.status = input_.open(device_.stream, deviceId, format, event);
    if (device_.status != MMSYSERR_NOERROR) {
        device_.stream.reset();
        const MMResult code = device_.status;
        return {CaptureOutcome::Status::Refused,
                code == MMSYSERR_ALLOCATED ? deviceInUse : input_.errorText(code, errorTextSize)};
    }
    for (int i = 0; i < bufferCount - 1; ++i) {
        queueBuffer(i);
    }
    isRecording_ = true;
    currentBuffer_ = 0;
    device_.stream->start();
    return {};
}

void Recorder::queueBuffer(int i) {
    WaveHeader& header = headers_[static_cast<std::size_t>(i)];
    header.data =
        data_.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(bytesPerBuffer_);
    header.bufferLength = static_cast<std::uint32_t>(bytesPerBuffer_);
    header.bytesRecorded = 0;
    header.droppedBefore = 0;
    header.flags.store(0, std::memory_order_release);
    device_.stream->prepare(header);
    device_.stream->addBuffer(header);
}

void Recorder::recycleCurrent() {
    if (!device_.isOpen()) {
        return;
    }
    device_.stream->unprepare(headers_[static_cast<std::size_t>(currentBuffer_)]);
    const int previous = currentBuffer_ == 0 ? bufferCount - 1 : currentBuffer_ - 1;
    currentBuffer_ = (currentBuffer_ + 1) % bufferCount;
    queueBuffer(previous);
}

void Recorder::unprepareAll() {
    for (WaveHeader& header : headers_) {
        if ((header.flags.load(std::memory_order_acquire) & WHDR_PREPARED) != 0) {
            device_.stream->unprepare(header);
        }
    }
}

void Recorder::stop() {
    isRecording_ = false;
    if (!device_.isOpen()) {
        return;
    }
    device_.stream->reset();
    unprepareAll();
    if (device_.stream->close() == MMSYSERR_NOERROR) {
        device_.status = MMSYSERR_BADDEVICEID;
        device_.stream.reset();
    }
}

void Recorder::samples(const char* data, int first, int count, int* out) const {
    for (int i = 0; i < count; ++i) {
        out[i] = sample(data, first + i);
    }
}

bool Recorder::deviceFailed() const {
    return device_.isOpen() && device_.stream->hasFailed();
}

std::string Recorder::deviceFailure() const {
    return device_.isOpen() ? device_.stream->failure() : std::string();
}

bool Recorder::currentBufferComplete() const {
    const WaveHeader& h = header(currentBuffer_);
    return h.done() && h.bytesRecorded == h.bufferLength;
}

bool Recorder::currentBufferDone() const {
    return header(currentBuffer_).done();
}

const char* Recorder::currentBufferData() const {
    return header(currentBuffer_).data;
}

std::uint64_t Recorder::bytesDroppedBeforeCurrent() const {
    return header(currentBuffer_).droppedBefore;
}

}  // namespace acquisition
