#include "acquisition/Recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "FakeWaveInput.h"
#include "acquisition/AutoResetEvent.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/RecorderM8.h"
#include "acquisition/SampleCursor.h"

namespace acquisition {
namespace {

using platform::WaveHeader;

constexpr int defaultSamples = 4096;
constexpr int defaultRate = 199680;

class RecorderTest : public ::testing::Test {
protected:
    // The ring positions of the headers the device saw, in call order.
    static std::vector<int> positions(const Recorder& recorder,
                                      const std::vector<const WaveHeader*>& headers) {
        std::vector<int> result;
        for (const WaveHeader* header : headers) {
            int position = -1;
            for (int i = 0; i < Recorder::bufferCount; ++i) {
                if (&recorder.header(i) == header) {
                    position = i;
                }
            }
            result.push_back(position);
        }
        return result;
    }

    std::vector<int> queuedPositions(const Recorder& recorder) const {
        return positions(recorder, {device_.queue.begin(), device_.queue.end()});
    }

    static void expectRefused(const CaptureOutcome& outcome, const std::string& text) {
        EXPECT_EQ(outcome.status, CaptureOutcome::Status::Refused);
        EXPECT_EQ(outcome.reason, text);
    }

    FakeWaveInput device_;
    AutoResetEvent event_;
};

TEST_F(RecorderTest, DecodesSixteenAndEightBitSamples) {
    const RecorderM16 m16(device_, defaultSamples, defaultRate);
    const unsigned char pairs[] = {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0x34, 0x12, 0x01, 0x00};
    const auto* words = reinterpret_cast<const char*>(pairs);
    EXPECT_EQ(m16.sample(words, 0), -32768);
    EXPECT_EQ(m16.sample(words, 1), 32767);
    EXPECT_EQ(m16.sample(words, 2), -1);
    EXPECT_EQ(m16.sample(words, 3), 0x1234);
    EXPECT_EQ(m16.sample(words, 4), 1);

    const RecorderM8 m8(device_, defaultSamples, defaultRate);
    const unsigned char bytes[] = {0, 128, 255, 1, 127};
    const auto* data = reinterpret_cast<const char*>(bytes);
    EXPECT_EQ(m8.sample(data, 0), -8192);
    EXPECT_EQ(m8.sample(data, 1), 0);
    EXPECT_EQ(m8.sample(data, 2), 8128);
    EXPECT_EQ(m8.sample(data, 3), -8128);
    EXPECT_EQ(m8.sample(data, 4), -64);
}

TEST_F(RecorderTest, RunsDecodeAsSingleSamplesDo) {
    std::vector<char> bytes;
    for (int i = 0; i < 512; ++i) {
        bytes.push_back(static_cast<char>((i * 37 + i / 256) & 0xFF));
    }
    const RecorderM16 m16(device_, 256, defaultRate);
    const RecorderM8 m8(device_, 512, defaultRate);
    for (const Recorder* recorder :
         {static_cast<const Recorder*>(&m16), static_cast<const Recorder*>(&m8)}) {
        const int count = recorder == &m16 ? 256 : 512;
        std::vector<int> run(static_cast<std::size_t>(count), 0);
        recorder->samples(bytes.data(), 0, count, run.data());
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(run[static_cast<std::size_t>(i)], recorder->sample(bytes.data(), i)) << i;
        }
        // A run from the middle, and a cursor that reads runs and single
        // values alternately.
        std::vector<int> middle(5, 0);
        recorder->samples(bytes.data(), 100, 5, middle.data());
        EXPECT_EQ(middle[0], recorder->sample(bytes.data(), 100));
        EXPECT_EQ(middle[4], recorder->sample(bytes.data(), 104));
        SampleCursor cursor(bytes.data(), *recorder, count);
        cursor.read(3, middle.data());
        EXPECT_EQ(middle[2], recorder->sample(bytes.data(), 2));
        EXPECT_EQ(cursor.value(), recorder->sample(bytes.data(), 3));
    }
}

TEST_F(RecorderTest, SizesAndFormatFollowTheSettings) {
    const RecorderM16 m16(device_, defaultSamples, defaultRate);
    EXPECT_EQ(m16.bytesPerBuffer(), 8192);
    EXPECT_EQ(m16.dataSize(), 65536U);
    const platform::WaveFormat f16 = m16.waveFormat();
    EXPECT_EQ(f16.formatTag, platform::WAVE_FORMAT_PCM);
    EXPECT_EQ(f16.channels, 1);
    EXPECT_EQ(f16.samplesPerSec, 199680U);
    EXPECT_EQ(f16.avgBytesPerSec, 399360U);
    EXPECT_EQ(f16.blockAlign, 2);
    EXPECT_EQ(f16.bitsPerSample, 16);
    EXPECT_EQ(f16.extraSize, 0);

    const RecorderM8 m8(device_, defaultSamples, defaultRate);
    EXPECT_EQ(m8.bytesPerBuffer(), 4096);
    EXPECT_EQ(m8.dataSize(), 32768U);
    EXPECT_EQ(m8.waveFormat().avgBytesPerSec, 199680U);
    EXPECT_EQ(m8.waveFormat().blockAlign, 1);
    EXPECT_EQ(m8.waveFormat().bitsPerSample, 8);

    const RecorderM16 other(device_, 3072, 798720);
    EXPECT_EQ(other.bytesPerBuffer(), 6144);
    EXPECT_EQ(other.dataSize(), 49152U);
    EXPECT_EQ(other.waveFormat().avgBytesPerSec, 1597440U);

    // Building a recorder does not touch the device.
    EXPECT_TRUE(device_.calls.empty());
    EXPECT_FALSE(m16.isRecording());
}

TEST_F(RecorderTest, StartQueuesSevenBuffersInRingOrder) {
    RecorderM16 recorder(device_, defaultSamples, defaultRate);
    const CaptureOutcome started = recorder.start(event_);
    ASSERT_TRUE(started);
    EXPECT_EQ(started.reason, "");
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(recorder.currentBuffer(), 0);

    ASSERT_GE(device_.calls.size(), 2U);
    EXPECT_EQ(device_.calls.front().what, "query 0");
    EXPECT_EQ(device_.calls[1].what, "open 0");
    EXPECT_EQ(device_.calls.back().what, "start");
    EXPECT_EQ(device_.queriedFormat.samplesPerSec, 199680U);
    EXPECT_EQ(device_.openedFormat.avgBytesPerSec, 399360U);
    EXPECT_EQ(device_.openedFormat.bitsPerSample, 16);
    EXPECT_EQ(device_.signal, &event_);

    const std::vector<int> ring{0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(positions(recorder, device_.headersOf("prepare")), ring);
    EXPECT_EQ(positions(recorder, device_.headersOf("add")), ring);
    EXPECT_EQ(queuedPositions(recorder), ring);
    // Each buffer is prepared before it is added.
    for (std::size_t i = 2; i + 1 < device_.calls.size(); i += 2) {
        EXPECT_EQ(device_.calls[i].what, "prepare");
        EXPECT_EQ(device_.calls[i + 1].what, "add");
        EXPECT_EQ(device_.calls[i].header, device_.calls[i + 1].header);
    }

    const char* base = recorder.header(0).data;
    for (int i = 0; i < Recorder::bufferCount - 1; ++i) {
        EXPECT_EQ(recorder.header(i).data, base + i * 8192) << i;
        EXPECT_EQ(recorder.header(i).bufferLength, 8192U) << i;
    }
    EXPECT_EQ(device_.prepared.count(&recorder.header(7)), 0U);
}

TEST_F(RecorderTest, RecycleHoldsTheCompletedBufferAndRequeuesThePreviousOne) {
    RecorderM16 recorder(device_, defaultSamples, defaultRate);
    ASSERT_TRUE(recorder.start(event_));
    const char* base = recorder.header(0).data;

    for (int round = 0; round < 10; ++round) {
        const int current = round % Recorder::bufferCount;
        const int previous = (current + Recorder::bufferCount - 1) % Recorder::bufferCount;
        ASSERT_EQ(recorder.currentBuffer(), current);
        EXPECT_FALSE(recorder.currentBufferDone());

        // The device fills the buffers in ring order.
        const WaveHeader* completed = device_.completeNext(static_cast<char>(round));
        ASSERT_EQ(completed, &recorder.header(current)) << round;
        EXPECT_TRUE(event_.waitFor(std::chrono::milliseconds(1000)));
        EXPECT_TRUE(recorder.currentBufferDone());
        const char* data = recorder.currentBufferData();
        EXPECT_EQ(data, base + current * 8192);
        EXPECT_EQ(data[0], static_cast<char>(round));

        const std::size_t before = device_.calls.size();
        recorder.recycleCurrent();
        ASSERT_EQ(device_.calls.size(), before + 3);
        EXPECT_EQ(device_.calls[before].what, "unprepare");
        EXPECT_EQ(device_.calls[before].header, &recorder.header(current));
        EXPECT_EQ(device_.calls[before + 1].what, "prepare");
        EXPECT_EQ(device_.calls[before + 2].what, "add");
        EXPECT_EQ(device_.calls[before + 2].header, &recorder.header(previous));
        EXPECT_EQ(recorder.header(previous).data, base + previous * 8192);
        EXPECT_EQ(recorder.header(previous).bufferLength, 8192U);

        // Seven queued, and the buffer just completed is out of the device's
        // reach while the worker reads it.
        EXPECT_EQ(recorder.currentBuffer(), (current + 1) % Recorder::bufferCount);
        EXPECT_EQ(device_.queue.size(), 7U);
        EXPECT_EQ(device_.prepared.count(&recorder.header(current)), 0U);
        EXPECT_EQ(device_.queue.back(), &recorder.header(previous));
        EXPECT_EQ(data[8191], static_cast<char>(round));
    }
}

TEST_F(RecorderTest, StopOfANeverStartedRecorderTouchesNoDevice) {
    RecorderM8 recorder(device_, defaultSamples, defaultRate);
    recorder.stop();
    EXPECT_FALSE(recorder.isRecording());
    recorder.recycleCurrent();
    EXPECT_EQ(recorder.currentBuffer(), 0);
    EXPECT_TRUE(device_.calls.empty());
}

TEST_F(RecorderTest, StopTakesEveryBufferBackAndCloses) {
    RecorderM16 recorder(device_, defaultSamples, defaultRate);
    ASSERT_TRUE(recorder.start(event_));
    for (int i = 0; i < 3; ++i) {
        device_.completeNext(0);
        recorder.recycleCurrent();
    }
    const std::size_t before = device_.calls.size();
    recorder.stop();
    EXPECT_FALSE(recorder.isRecording());
    ASSERT_GT(device_.calls.size(), before);
    EXPECT_EQ(device_.calls[before].what, "reset");
    EXPECT_EQ(device_.calls.back().what, "close");
    EXPECT_FALSE(device_.isOpen);
    EXPECT_TRUE(device_.queue.empty());
    EXPECT_EQ(device_.preparedAtClose, 0U);
    EXPECT_FALSE(device_.destroyedWhileOpen);

    // A second stop and the destructor find the device closed.
    const std::size_t afterStop = device_.calls.size();
    recorder.stop();
    EXPECT_EQ(device_.calls.size(), afterStop);
}

TEST_F(RecorderTest, DestructorWhileRecordingReleasesTheDevice) {
    {
        RecorderM8 recorder(device_, 2048, defaultRate);
        ASSERT_TRUE(recorder.start(event_));
        device_.completeNext(0);
        recorder.recycleCurrent();
        device_.completeNext(0);  // completed, not yet recycled
    }
    EXPECT_TRUE(device_.called("reset"));
    EXPECT_EQ(device_.calls.back().what, "close");
    EXPECT_FALSE(device_.isOpen);
    EXPECT_EQ(device_.preparedAtClose, 0U);
    EXPECT_TRUE(device_.prepared.empty());
    EXPECT_FALSE(device_.destroyedWhileOpen);
}

TEST_F(RecorderTest, UnsupportedFormatIsRefusedAndStaysIdle) {
    device_.queryResult = platform::WAVERR_BADFORMAT;
    RecorderM16 recorder(device_, defaultSamples, defaultRate);
    expectRefused(recorder.start(event_), "Format not supported");
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(device_.called("open 0"));
}

TEST_F(RecorderTest, DeviceInUseShowsTheFixedText) {
    device_.openResult = platform::MMSYSERR_ALLOCATED;
    RecorderM16 recorder(device_, defaultSamples, defaultRate);
    expectRefused(
        recorder.start(event_),
        "Another application is recording audio. Stop recording with this other application and "
        "then try to record with Trelmont Recorder again.");
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(device_.called("errorText"));
    EXPECT_FALSE(device_.called("prepare"));

    // Idle: once the other program lets go, the same recorder starts.
    device_.openResult = platform::MMSYSERR_NOERROR;
    EXPECT_TRUE(recorder.start(event_));
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_EQ(device_.queue.size(), 7U);
}

TEST_F(RecorderTest, OtherOpenErrorsShowThePlatformTextCutTo163Characters) {
    device_.openResult = platform::MMSYSERR_NODRIVER;
    device_.errorTextFull.clear();
    for (int i = 0; device_.errorTextFull.size() < 300; ++i) {
        device_.errorTextFull += "word" + std::to_string(i) + " ";
    }
    RecorderM16 recorder(device_, defaultSamples, defaultRate);
    expectRefused(recorder.start(event_), device_.errorTextFull.substr(0, 163));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(device_.errorTextMaxChars, 164U);
    EXPECT_FALSE(device_.called("prepare"));
}

}  // namespace
}  // namespace acquisition
