#include "PortAudioStream.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "PortAudioSession.h"

namespace platform {

// PortAudio hands over 16-bit samples in the machine's byte order; the wave
// format promises little-endian ones.
static_assert(std::endian::native == std::endian::little,
              "16-bit capture data would need byte swapping on this machine");

namespace {

using Link = PortAudioStream::Link;

int captureCallback(const void* input, void*, unsigned long frames,
                    const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags, void* link) {
    auto& to = *static_cast<Link*>(link);
    std::lock_guard guard(to.mutex);
    if (to.stream == nullptr) {
        return paAbort;
    }
    // 0 is PortAudio's "no time known".
    const double adcTime = time != nullptr ? time->inputBufferAdcTime : 0.0;
    to.stream->onFrames(input, frames, adcTime, (flags & paInputOverflow) != 0);
    return paContinue;
}

using Clock = std::chrono::steady_clock;

#ifdef TRELMONT_TEST_HOOKS
std::atomic<Clock::rep> watchdogHeld{0};

// Until when the watchdog stands still, as if the process were stopped.
Clock::time_point watchdogHeldUntil() {
    return Clock::time_point(Clock::duration(watchdogHeld.load()));
}
#else
constexpr Clock::time_point watchdogHeldUntil() {
    return Clock::time_point{};
}
#endif

void finishedCallback(void* link) {
    auto& to = *static_cast<Link*>(link);
    std::lock_guard guard(to.mutex);
    if (to.stream != nullptr) {
        to.stream->onFinished();
    }
}

// Streams left to PortAudio, with the session they were opened in, kept
// reachable until the process ends.
struct Abandoned {
    std::shared_ptr<const PortAudioSession> session;
    std::shared_ptr<Link> link;
};

std::mutex abandonedMutex;
std::vector<Abandoned>* const abandonedStreams = new std::vector<Abandoned>;

// Stops the stream on a thread of its own and waits at most `limit` for it.
// The thread is detached: when PortAudio never returns, it stays blocked in
// PortAudio and ends with the process.
bool stopWithin(void* handle, std::chrono::milliseconds limit) {
    auto stopped = std::make_shared<std::promise<void>>();
    std::future<void> done = stopped->get_future();
    std::thread([handle, stopped] {
        Pa_StopStream(handle);
        stopped->set_value();
    }).detach();
    return done.wait_for(limit) == std::future_status::ready;
}

// Only called on the audio thread, the one that sets PortAudio's host error.
std::string endedByItself() {
    std::string text = "the capture stream ended by itself";
    const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
    if (info != nullptr && info->errorText != nullptr && info->errorText[0] != '\0') {
        text += " (";
        text += info->errorText;
        text += ")";
    }
    return text;
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
                                 WaveSignal& signal, std::size_t bytesPerFrame, double sampleRate)
    : session_(std::move(session)),
      queue_(signal),
      bytesPerFrame_(bytesPerFrame),
      sampleRate_(sampleRate),
      link_(std::make_shared<Link>()) {
    link_->stream = this;
}

int PortAudioStream::open(std::unique_ptr<PortAudioStream>& stream,
                          std::shared_ptr<const PortAudioSession> session,
                          const PortAudioCapture& capture, WaveSignal& signal) {
    const auto bytesPerFrame = static_cast<std::size_t>(capture.channels) *
                               static_cast<std::size_t>(capture.bitsPerSample / 8);
    auto opened = std::make_unique<PortAudioStream>(Key{}, std::move(session), signal,
                                                    bytesPerFrame, capture.sampleRate);
    const PaStreamParameters parameters = inputParameters(capture);
    PaStream* handle = nullptr;
    const PaError error =
        Pa_OpenStream(&handle, &parameters, nullptr, capture.sampleRate, framesPerCallback,
                      paClipOff | paDitherOff, captureCallback, opened->link_.get());
    if (error != paNoError) {
        return error;
    }
    opened->handle_ = handle;
    const PaStreamInfo* info = Pa_GetStreamInfo(handle);
    opened->latencySeconds_ = info != nullptr ? info->inputLatency : 0.0;
    Pa_SetStreamFinishedCallback(handle, finishedCallback);
    stream = std::move(opened);
    return paNoError;
}

PortAudioStream::~PortAudioStream() {
    close();
}

void PortAudioStream::onFrames(const void* input, unsigned long frames, double adcTime,
                               bool overflowed) noexcept {
    const Clock::time_point now = Clock::now();
    lastFrames_.store(now.time_since_epoch().count(), std::memory_order_relaxed);
    if (overflowed) {
        queue_.drop(framesLost(adcTime, now) * bytesPerFrame_);
    }
    nextAdcTime_ = adcTime > 0.0 ? adcTime + static_cast<double>(frames) / sampleRate_ : 0.0;
    previousCall_ = now;
    queue_.write(static_cast<const char*>(input), frames * bytesPerFrame_);
}

// The device overran while nobody read it (the whole process was stopped or
// starved): what it captured meanwhile is gone, and these frames were
// captured later than the ones before them end. The host's time of this
// callback's first frame against where the frames delivered so far reach
// says how many frames lie between. A host that gives no time (0) or one
// that runs backwards cannot say; the overflow still means at least one frame
// was lost, and counting that one lets the recording say sound was lost.
// The host's clock may also jump (a wall clock set while recording, a broken
// driver): the frames lost were captured before this callback and after the
// frames of the previous one, which had waited in the device at most its
// latency and a callback's frames before they reached us. Our own steady
// clock's time since then bounds them, and a jump of hours never becomes
// hours of lost buffers.
std::uint64_t PortAudioStream::framesLost(double adcTime, Clock::time_point now) const {
    if (adcTime <= 0.0 || nextAdcTime_ <= 0.0 || sampleRate_ <= 0.0) {
        return 1;
    }
    const double between = std::chrono::duration<double>(now - previousCall_).count() +
                           latencySeconds_ + static_cast<double>(framesPerCallback) / sampleRate_;
    const double seconds = std::clamp(adcTime - nextAdcTime_, 0.0, between);
    return std::max<std::uint64_t>(1, std::llround(seconds * sampleRate_));
}

void PortAudioStream::onFinished() noexcept {
    if (!stopping_.load()) {
        noteFailure(endedByItself());
    }
    queue_.returnAll();
    if (hasFailed()) {
        // The owner learns of the end even when no buffer was queued.
        queue_.wakeOwner();
    }
}

void PortAudioStream::noteFailure(std::string text) {
    // The first reason is the one that counts.
    std::lock_guard guard(failureMutex_);
    if (failure_.empty()) {
        failure_ = std::move(text);
    }
}

bool PortAudioStream::hasFailed() const {
    std::lock_guard guard(failureMutex_);
    return !failure_.empty();
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
    if (handle_ == nullptr || abandoned_) {
        return MMSYSERR_INVALHANDLE;
    }
    if (Pa_IsStreamActive(handle_) == 1) {
        return MMSYSERR_NOERROR;
    }
    // A stream that ended by itself has to be stopped before it starts again.
    stopDevice();
    {
        std::lock_guard guard(failureMutex_);
        failure_.clear();
    }
    stopping_.store(false);
    // The audio thread's own; PortAudio starts it after this.
    nextAdcTime_ = 0.0;
    if (Pa_StartStream(handle_) != paNoError) {
        return MMSYSERR_ERROR;
    }
    startWatchdog();
    return MMSYSERR_NOERROR;
}

void PortAudioStream::stopDevice() {
    stopping_.store(true);
    stopWatchdog();
    if (abandoned_ || Pa_IsStreamStopped(handle_) != 0) {
        return;
    }
    // A working stream stops within a period. Aborting would be no quicker
    // for a thread that never waits, and cancels the audio thread inside the
    // C library, which the thread checker cannot follow.
    if (!stopWithin(handle_, stopLimit)) {
        abandon();
    }
}

void PortAudioStream::abandon() {
    {
        std::lock_guard guard(link_->mutex);
        link_->stream = nullptr;
    }
    std::lock_guard guard(abandonedMutex);
    abandonedStreams->push_back({session_, link_});
    abandoned_ = true;
}

void PortAudioStream::startWatchdog() {
    lastFrames_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    watchdog_ = std::jthread([this](const std::stop_token& stop) { watch(stop); });
}

void PortAudioStream::stopWatchdog() {
    if (watchdog_.joinable()) {
        watchdog_.request_stop();
        watchdog_.join();
    }
}

PortAudioStream::Clock::time_point PortAudioStream::lastFramesAt() const {
    return Clock::time_point(Clock::duration(lastFrames_.load(std::memory_order_relaxed)));
}

// Wakes twice a second at most, and at the silence limit after the last
// frames. A wake much later than planned means the watchdog did not run
// either: the whole process was stopped (a debugger, SIGSTOP, a laptop lid)
// or starved of the processor, and the audio thread with it, which has yet to
// catch up. The time it woke late then does not count as silence: only a
// device that stays silent while we run is taken for dead, and a machine
// that is merely busy delays that judgement by no more than it delayed us.
void PortAudioStream::watch(const std::stop_token& stop) {
    std::unique_lock guard(watchMutex_);
    Clock::time_point countFrom = Clock::now();
    for (;;) {
        const Clock::time_point silentSince = std::max(lastFramesAt(), countFrom);
        const Clock::time_point planned =
            std::min(silentSince + silenceLimit, Clock::now() + watchStep);
        watchWake_.wait_until(guard, stop, planned, [] { return false; });
        const Clock::time_point held = watchdogHeldUntil();
        if (Clock::now() < held) {
            watchWake_.wait_until(guard, stop, held, [] { return false; });
        }
        if (stop.stop_requested()) {
            return;
        }
        const Clock::time_point woke = Clock::now();
        if (woke - planned > watchStep) {
            countFrom = silentSince + (woke - planned);
        }
        if (woke - std::max(lastFramesAt(), countFrom) >= silenceLimit) {
            noteFailure("no sound arrived from the device for " +
                        std::to_string(silenceLimit.count() / 1000) + " seconds");
            queue_.wakeOwner();
            return;
        }
    }
}

#ifdef TRELMONT_TEST_HOOKS
void PortAudioStream::holdWatchdogForTests(std::chrono::milliseconds time) {
    watchdogHeld.store((Clock::now() + time).time_since_epoch().count());
}
#endif

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
    if (abandoned_) {
        // Closing would wait for the audio thread that would not stop.
        handle_ = nullptr;
        return MMSYSERR_NOERROR;
    }
    const PaError error = Pa_CloseStream(handle_);
    handle_ = nullptr;
    return error == paNoError ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
}

}  // namespace platform
