#include "platform/PortAudioWaveInput.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/AutoResetEvent.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/RecorderM8.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "platform/PortAudioStream.h"

// These tests run the PortAudio backend against a real ALSA device: a test
// configuration makes the default PCM a `file` plugin over the `null` plugin,
// whose `infile` supplies the captured data. A plain file would be read as
// fast as the CPU allows (the null plugin keeps no time), so the data comes
// through a pipe that a feeder thread fills at the real sample rate, and the
// device is paced like a sound card.

namespace platform {
namespace {

using namespace std::chrono_literals;
using acquisition::AutoResetEvent;

constexpr int sampleRate = 199680;
constexpr int samplesPerBuffer = 4096;
// 1950 Hz is exactly 40 cycles in 4096 samples, so it falls on bin 40.
constexpr double toneHz = 1950.0;
constexpr int toneBin = 40;

namespace fs = std::filesystem;

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

class TemporaryDirectory {
public:
    TemporaryDirectory() {
        static std::atomic<int> serial{0};
        path_ = fs::temp_directory_path() /
                ("trelmont-alsa-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        fs::create_directories(path_);
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// One block of the tone, a whole number of cycles long, so that blocks
// written back to back make one continuous sine at about half full scale.
std::vector<char> toneBlock(int bitsPerSample, int frames) {
    std::vector<char> block;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < frames; ++i) {
        const double s = std::sin(2.0 * pi * toneHz * i / sampleRate);
        if (bitsPerSample == 8) {
            block.push_back(static_cast<char>(128 + std::lround(64.0 * s)));
        } else {
            const auto v =
                static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(16384.0 * s)));
            block.push_back(static_cast<char>(v & 0xFF));
            block.push_back(static_cast<char>(v >> 8));
        }
    }
    return block;
}

// A pipe whose read end is the ALSA device's input, filled with the tone at
// the real sample rate. Each write is one period of the backend (a callback's
// frames), which the pipe takes whole: the file plugin reads a period with one
// read() and passes it off as captured whatever that read returned, so a
// write of part of a period would give half-filled periods, delivered faster
// than real time.
class ToneFeeder {
public:
    static constexpr int blockFrames = static_cast<int>(PortAudioStream::framesPerCallback);

    explicit ToneFeeder(int bitsPerSample)
        : block_(toneBlock(bitsPerSample, blockFrames)),
          blockTime_(std::chrono::nanoseconds(1'000'000'000LL * blockFrames / sampleRate)) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2 failed";
            return;
        }
        readEnd_ = std::make_unique<FileDescriptor>(ends[0]);
        writeEnd_ = std::make_unique<FileDescriptor>(ends[1]);
        ::fcntl(writeEnd_->get(), F_SETFL, O_NONBLOCK);
        thread_ = std::jthread([this](std::stop_token stop) { feed(stop); });
    }
    ~ToneFeeder() {
        thread_.request_stop();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    ToneFeeder(const ToneFeeder&) = delete;
    ToneFeeder& operator=(const ToneFeeder&) = delete;

    int readFd() const { return readEnd_ ? readEnd_->get() : -1; }

private:
    // A write that had to wait for room (nobody read the pipe before the
    // device started) puts the schedule behind; it goes on at the real rate
    // from then on rather than catching up, which would feed the device
    // faster than a sound card delivers.
    void feed(const std::stop_token& stop) {
        auto next = std::chrono::steady_clock::now();
        while (!stop.stop_requested()) {
            if (!writeBlock(stop)) {
                return;
            }
            next = std::max(next + blockTime_, std::chrono::steady_clock::now());
            std::this_thread::sleep_until(next);
        }
    }
    // Waits (in short steps, so that a stop is seen) until the whole block fits.
    bool writeBlock(const std::stop_token& stop) {
        while (!stop.stop_requested()) {
            if (::write(writeEnd_->get(), block_.data(), block_.size()) ==
                static_cast<ssize_t>(block_.size())) {
                return true;
            }
            if (errno != EAGAIN) {
                return false;
            }
            pollfd writable{writeEnd_->get(), POLLOUT, 0};
            ::poll(&writable, 1, 20);
        }
        return false;
    }

    std::vector<char> block_;
    std::chrono::nanoseconds blockTime_;
    std::unique_ptr<FileDescriptor> readEnd_;
    std::unique_ptr<FileDescriptor> writeEnd_;
    std::jthread thread_;
};

// An ALSA configuration of its own, in force while the object lives. It must
// exist before the backend starts PortAudio.
class AlsaConfiguration {
public:
    explicit AlsaConfiguration(const std::string& defaultPcm, const std::string& preamble = {})
        : environment_("ALSA_CONFIG_PATH",
                       write(directory_.path() / "asound.conf",
                             preamble + "pcm.!default {\n" + defaultPcm + "}\n")) {}

private:
    static std::string write(const fs::path& file, const std::string& text) {
        std::ofstream out(file);
        out << text;
        EXPECT_TRUE(out.good()) << "cannot write " << file;
        return file.string();
    }

    TemporaryDirectory directory_;
    ScopedEnvironment environment_;
};

std::string filePcm(const std::string& infile) {
    return "    type file\n    slave.pcm { type null }\n    file \"/dev/null\"\n    infile " +
           infile + "\n    format \"raw\"\n";
}

WaveFormat monoFormat(int bitsPerSample) {
    WaveFormat format;
    format.channels = 1;
    format.samplesPerSec = sampleRate;
    format.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    format.blockAlign = static_cast<std::uint16_t>(bitsPerSample / 8);
    format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    return format;
}

int peakBin(const acquisition::SpectrumAnalyzer& analyzer) {
    int best = 0;
    for (int k = 1; k < analyzer.fftPoints() / 2; ++k) {
        if (analyzer.magnitude(k) > analyzer.magnitude(best)) {
            best = k;
        }
    }
    return best;
}

struct Capture {
    std::vector<int> peaks;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    int largestSample = 0;
};

// Runs the recorder the way the capture worker does: wait for the event, then
// take every completed buffer, hand it back and analyse it.
Capture captureBuffers(acquisition::Recorder& recorder, AutoResetEvent& event, std::size_t wanted) {
    Capture result;
    acquisition::SpectrumAnalyzer analyzer(samplesPerBuffer, sampleRate);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (result.peaks.size() < wanted && std::chrono::steady_clock::now() < deadline) {
        if (!event.waitFor(500ms)) {
            continue;
        }
        while (recorder.currentBufferDone() && result.peaks.size() < wanted) {
            const char* data = recorder.currentBufferData();
            recorder.recycleCurrent();
            for (int i = 0; i < recorder.samplesPerBuffer(); ++i) {
                result.largestSample =
                    std::max(result.largestSample, std::abs(recorder.sample(data, i)));
            }
            acquisition::SampleCursor cursor(data, recorder, recorder.samplesPerBuffer());
            analyzer.loadBlock(cursor);
            analyzer.transform();
            result.peaks.push_back(peakBin(analyzer));
            result.arrivals.push_back(std::chrono::steady_clock::now());
        }
    }
    return result;
}

// A default capture device that plays the tone, at 16 or 8 bits.
class ToneDevice : public ::testing::Test {
protected:
    explicit ToneDevice(int bitsPerSample = 16)
        : feeder_(bitsPerSample), alsa_(filePcm(std::to_string(feeder_.readFd()))) {}

private:
    // Declared first so that it is destroyed last: the device blocks on the
    // pipe while it runs, and everything that runs it is gone by then.
    ToneFeeder feeder_;
    AlsaConfiguration alsa_;
};

class EightBitToneDevice : public ToneDevice {
protected:
    EightBitToneDevice() : ToneDevice(8) {}
};

TEST_F(ToneDevice, IsTheOnlyDeviceAndAcceptsEveryFormat) {
    PortAudioWaveInput input;
    EXPECT_EQ(input.deviceCount(), 1U);

    std::uint32_t formats = 0;
    ASSERT_EQ(input.capabilities(0, formats), MMSYSERR_NOERROR);
    // The null plugin takes any rate, channel count and sample format.
    EXPECT_EQ(formats, WAVE_FORMAT_ALL);
    EXPECT_EQ(input.capabilities(1, formats), MMSYSERR_BADDEVICEID);

    EXPECT_EQ(input.query(0, monoFormat(16)), MMSYSERR_NOERROR);
    EXPECT_EQ(input.query(0, monoFormat(8)), MMSYSERR_NOERROR);
    EXPECT_EQ(input.query(1, monoFormat(16)), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(input.query(0, monoFormat(24)), WAVERR_BADFORMAT);
    WaveFormat surround = monoFormat(16);
    surround.channels = 6;
    EXPECT_EQ(input.query(0, surround), WAVERR_BADFORMAT);
}

TEST_F(ToneDevice, RecorderM16FindsTheToneInEveryBuffer) {
    PortAudioWaveInput input;
    AutoResetEvent event;
    acquisition::RecorderM16 recorder(input, samplesPerBuffer, sampleRate);
    ASSERT_TRUE(recorder.start(event));

    const Capture capture = captureBuffers(recorder, event, 32);
    recorder.stop();

    ASSERT_EQ(capture.peaks.size(), 32U);
    EXPECT_THAT(capture.peaks, ::testing::Each(toneBin));
    // Half of full scale, so the 16-bit samples arrived whole and in order.
    EXPECT_NEAR(capture.largestSample, 16384, 200);
    EXPECT_FALSE(recorder.isRecording());
    // What the pipe held before the start (at most 64 KiB, eight buffers)
    // comes at once; from then on buffers come no faster than the device's
    // rate, as from a sound card.
    constexpr std::size_t backlog = 12;
    const auto paced = capture.arrivals.back() - capture.arrivals[backlog];
    const auto realTime = std::chrono::nanoseconds(
        1'000'000'000LL * samplesPerBuffer * static_cast<long long>(32 - 1 - backlog) / sampleRate);
    EXPECT_GE(paced, realTime * 9 / 10);
}

TEST_F(EightBitToneDevice, RecorderM8FindsTheToneInEveryBuffer) {
    PortAudioWaveInput input;
    AutoResetEvent event;
    acquisition::RecorderM8 recorder(input, samplesPerBuffer, sampleRate);
    ASSERT_TRUE(recorder.start(event));

    const Capture capture = captureBuffers(recorder, event, 24);
    recorder.stop();

    ASSERT_EQ(capture.peaks.size(), 24U);
    EXPECT_THAT(capture.peaks, ::testing::Each(toneBin));
    EXPECT_NEAR(capture.largestSample, 64 * 64, 64);
}

// Three headers of one buffer each, handed to an open stream.
struct QueuedBuffers {
    static constexpr std::size_t count = 3;
    static constexpr std::size_t bytes = samplesPerBuffer * 2;

    explicit QueuedBuffers(WaveInStream& stream) {
        for (std::size_t i = 0; i < count; ++i) {
            memory[i].assign(bytes, '\0');
            headers[i].data = memory[i].data();
            headers[i].bufferLength = static_cast<std::uint32_t>(bytes);
            EXPECT_EQ(stream.prepare(headers[i]), MMSYSERR_NOERROR);
            EXPECT_EQ(stream.addBuffer(headers[i]), MMSYSERR_NOERROR);
        }
    }
    bool allReturned() const {
        return std::all_of(headers.begin(), headers.end(), [](const WaveHeader& h) {
            return h.done() && (h.flags.load() & WHDR_INQUEUE) == 0;
        });
    }

    std::array<std::vector<char>, count> memory;
    std::array<WaveHeader, count> headers{};
};

TEST_F(ToneDevice, ResetReturnsEveryBufferAndTheDeviceWritesNoMore) {
    PortAudioWaveInput input;
    AutoResetEvent event;
    std::unique_ptr<WaveInStream> stream;
    ASSERT_EQ(input.open(stream, 0, monoFormat(16), event), MMSYSERR_NOERROR);
    QueuedBuffers buffers(*stream);
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(event.waitFor(5s));
    EXPECT_TRUE(buffers.headers[0].done());
    EXPECT_EQ(buffers.headers[0].bytesRecorded, QueuedBuffers::bytes);
    EXPECT_EQ(stream->unprepare(buffers.headers[2]), WAVERR_STILLPLAYING);

    ASSERT_EQ(stream->reset(), MMSYSERR_NOERROR);
    EXPECT_TRUE(buffers.allReturned());
    const auto snapshot = buffers.memory;
    // Give a device that kept writing the time to do so.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(buffers.memory, snapshot);
    for (WaveHeader& header : buffers.headers) {
        EXPECT_EQ(stream->unprepare(header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(stream->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(stream->close(), MMSYSERR_INVALHANDLE);
}

TEST_F(ToneDevice, DestroyingARunningStreamReturnsItsBuffers) {
    PortAudioWaveInput input;
    AutoResetEvent event;
    std::unique_ptr<WaveInStream> stream;
    ASSERT_EQ(input.open(stream, 0, monoFormat(16), event), MMSYSERR_NOERROR);
    QueuedBuffers buffers(*stream);
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(event.waitFor(5s));
    stream.reset();
    EXPECT_TRUE(buffers.allReturned());
}

// The default PCM reads a file that exists while PortAudio lists the devices
// and is gone when the recorder opens it.
TEST(BrokenDevice, OpenFailureCarriesPortAudiosText) {
    const TemporaryDirectory directory;
    const fs::path input = directory.path() / "tone.raw";
    const AlsaConfiguration alsa(filePcm("\"" + input.string() + "\""));
    std::ofstream(input) << "tone";
    PortAudioWaveInput waveInput;
    fs::remove(input);
    ASSERT_EQ(waveInput.deviceCount(), 1U);

    AutoResetEvent event;
    std::unique_ptr<WaveInStream> stream;
    const MMResult code = waveInput.open(stream, 0, monoFormat(16), event);
    EXPECT_NE(code, MMSYSERR_NOERROR);
    EXPECT_NE(code, MMSYSERR_ALLOCATED);
    EXPECT_EQ(stream, nullptr);
    const std::string text = waveInput.errorText(code, 164);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, standardErrorText(code));
    EXPECT_EQ(waveInput.errorText(code, 6), text.substr(0, 5));

    // The recorder gets past the format question and reports that same text.
    acquisition::RecorderM16 recorder(waveInput, samplesPerBuffer, sampleRate);
    const acquisition::CaptureOutcome started = recorder.start(event);
    EXPECT_EQ(started.status, acquisition::CaptureOutcome::Status::Refused);
    EXPECT_EQ(started.reason, text);
    EXPECT_FALSE(recorder.isRecording());
}

TEST(BrokenDevice, NoCaptureDeviceWhenTheDefaultCannotRecord) {
    const AlsaConfiguration alsa(filePcm("\"/nonexistent/trelmont/tone.raw\""));
    PortAudioWaveInput input;
    EXPECT_EQ(input.deviceCount(), 0U);
    std::uint32_t formats = 0;
    EXPECT_EQ(input.capabilities(0, formats), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(input.query(0, monoFormat(16)), MMSYSERR_BADDEVICEID);
    AutoResetEvent event;
    std::unique_ptr<WaveInStream> stream;
    EXPECT_EQ(input.open(stream, 0, monoFormat(16), event), MMSYSERR_BADDEVICEID);
    EXPECT_FALSE(input.errorText(MMSYSERR_BADDEVICEID, 164).empty());
}

// A capture device that delivers the tone for `frames` frames and then ends:
// "unplug" fails like a USB card pulled out, "stall" delivers nothing more
// and reports nothing, like a sound server gone away.
class EndingDevice {
public:
    EndingDevice(long frames, const std::string& end)
        : alsa_("    type trelmont_ending\n    frames " + std::to_string(frames) + "\n    end \"" +
                    end + "\"\n    tone " + std::to_string(static_cast<int>(toneHz)) + "\n",
                std::string("pcm_type.trelmont_ending { lib \"") + TRELMONT_ENDING_PCM + "\" }\n") {
    }

private:
    AlsaConfiguration alsa_;
};

struct EndedCapture {
    Capture capture;
    bool failed = false;
    std::string failure;
    std::chrono::steady_clock::duration sinceLastBuffer{};
};

// Takes buffers the way the capture worker does until the device fails.
EndedCapture captureUntilTheDeviceFails(acquisition::Recorder& recorder, AutoResetEvent& event) {
    EndedCapture result;
    acquisition::SpectrumAnalyzer analyzer(samplesPerBuffer, sampleRate);
    auto lastBuffer = std::chrono::steady_clock::now();
    const auto deadline = lastBuffer + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        event.waitFor(500ms);
        while (recorder.currentBufferDone()) {
            acquisition::SampleCursor cursor(recorder.currentBufferData(), recorder,
                                             recorder.samplesPerBuffer());
            analyzer.loadBlock(cursor);
            recorder.recycleCurrent();
            analyzer.transform();
            result.capture.peaks.push_back(peakBin(analyzer));
            lastBuffer = std::chrono::steady_clock::now();
        }
        if (recorder.deviceFailed() && !recorder.currentBufferComplete()) {
            result.failed = true;
            result.failure = recorder.deviceFailure();
            break;
        }
    }
    result.sinceLastBuffer = std::chrono::steady_clock::now() - lastBuffer;
    return result;
}

// Starts a recorder on the device, takes buffers until the device fails,
// then stops the recorder and says how long that took.
struct EndedRecording {
    EndedCapture ended;
    std::chrono::steady_clock::duration stopTook{};
    bool stillRecording = true;
};

EndedRecording recordUntilTheDeviceFails() {
    EndedRecording result;
    PortAudioWaveInput input;
    EXPECT_EQ(input.deviceCount(), 1U);
    AutoResetEvent event;
    acquisition::RecorderM16 recorder(input, samplesPerBuffer, sampleRate);
    if (!recorder.start(event)) {
        ADD_FAILURE() << "the recorder did not start";
        return result;
    }
    result.ended = captureUntilTheDeviceFails(recorder, event);
    const auto before = std::chrono::steady_clock::now();
    recorder.stop();
    result.stopTook = std::chrono::steady_clock::now() - before;
    result.stillRecording = recorder.isRecording();
    return result;
}

// Records on a device that delivers `buffers` buffers of the tone and then
// ends as `end` says, and checks what every lost device must give: the
// buffers it delivered, all on the tone, a failure once it has been silent for
// the limit, and a stop in bounded time. PortAudio's audio thread may be left
// running for the life of the process, so this runs in a process of its own.
void expectALostDeviceInAProcessOfItsOwn(int buffers, const std::string& end,
                                         std::size_t fewestTaken) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const EndingDevice device(buffers * samplesPerBuffer, end);
            const EndedRecording recording = recordUntilTheDeviceFails();
            const EndedCapture& ended = recording.ended;
            EXPECT_TRUE(ended.failed);
            EXPECT_THAT(ended.failure,
                        ::testing::HasSubstr("no sound arrived from the device for 3 seconds"));
            EXPECT_GE(ended.capture.peaks.size(), fewestTaken);
            EXPECT_LE(ended.capture.peaks.size(), static_cast<std::size_t>(buffers));
            EXPECT_THAT(ended.capture.peaks, ::testing::Each(toneBin));
            EXPECT_GE(ended.sinceLastBuffer, PortAudioStream::silenceLimit - 500ms);
            EXPECT_LT(ended.sinceLastBuffer, PortAudioStream::silenceLimit + 2s);
            EXPECT_LT(recording.stopTook, PortAudioStream::stopLimit + 1s);
            EXPECT_FALSE(recording.stillRecording);
            std::exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

// A card pulled out: PortAudio's audio thread retries it for ever, calls
// nothing back and heeds no stop. What ALSA had handed over before the end is
// all there; the periods in its buffer at that moment are lost with the card.
TEST(EndingDeviceDeathTest, AnUnpluggedCardFailsTheStreamAndStopsInBoundedTime) {
    expectALostDeviceInAProcessOfItsOwn(40, "unplug", 34);
}

// A sound server gone away without a word: nothing more arrives and nothing
// fails, until the silence itself fails the stream. Every buffer delivered
// arrives.
TEST(EndingDeviceDeathTest, AStalledStreamFailsAfterTheSilenceLimit) {
    expectALostDeviceInAProcessOfItsOwn(30, "stall", 30);
}

// The whole process stood still for four seconds (SIGSTOP, a debugger, no
// processor to be had) half a second into a recording, longer than the
// silence limit: the card overran meanwhile, and the watchdog wakes before
// PortAudio has restarted it. That is no dead device: the recording goes on
// once the sound comes again, and what the card lost is counted before the
// first buffer after the gap.
TEST(StoppedProcess, IsNoDeadDeviceAndTheSoundLostIsCounted) {
    const int lateFrames = 4 * sampleRate;
    const AlsaConfiguration alsa(
        "    type trelmont_ending\n    frames 2000000000\n    end \"stall\"\n    tone " +
            std::to_string(static_cast<int>(toneHz)) + "\n    overrun " +
            std::to_string(sampleRate / 2) + "\n    late " + std::to_string(lateFrames) + "\n",
        std::string("pcm_type.trelmont_ending { lib \"") + TRELMONT_ENDING_PCM + "\" }\n");
    PortAudioWaveInput input;
    AutoResetEvent event;
    acquisition::RecorderM16 recorder(input, samplesPerBuffer, sampleRate);
    // The watchdog is stopped until the card has been silent for 3.5 s.
    PortAudioStream::holdWatchdogForTests(4000ms);
    ASSERT_TRUE(recorder.start(event));
    // Past the gap: 4.5 s of the card's clock and two seconds more.
    const std::size_t wanted = 6 * sampleRate / samplesPerBuffer;
    std::size_t taken = 0;
    std::uint64_t dropped = 0;
    std::vector<std::size_t> dropsAt;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (taken < wanted && !recorder.deviceFailed() &&
           std::chrono::steady_clock::now() < deadline) {
        event.waitFor(500ms);
        while (recorder.currentBufferDone() && taken < wanted) {
            if (recorder.bytesDroppedBeforeCurrent() > 0) {
                dropped += recorder.bytesDroppedBeforeCurrent();
                dropsAt.push_back(taken);
            }
            recorder.recycleCurrent();
            ++taken;
        }
    }
    EXPECT_FALSE(recorder.deviceFailed()) << recorder.deviceFailure();
    recorder.stop();
    EXPECT_EQ(taken, wanted);
    // One gap, after the buffers of the first half second; at least the
    // four seconds the card was left alone, and not much more whatever the
    // load on the machine.
    ASSERT_EQ(dropsAt.size(), 1U);
    EXPECT_NEAR(static_cast<double>(dropsAt.front()), sampleRate / 2.0 / samplesPerBuffer, 2.0);
    const auto droppedFrames = static_cast<long long>(dropped / 2);
    EXPECT_GE(droppedFrames, lateFrames - samplesPerBuffer);
    EXPECT_LT(droppedFrames, lateFrames + sampleRate);
}

}  // namespace
}  // namespace platform
