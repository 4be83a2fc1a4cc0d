#include "acquisition/SimulatorStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "acquisition/AutoResetEvent.h"
#include "acquisition/FrontEndSimulator.h"

namespace acquisition {
namespace {

using namespace platform;
using namespace std::chrono_literals;

constexpr std::uint32_t rate = 199680;

WaveFormat monoPcm(std::uint32_t samplesPerSec, std::uint16_t bits) {
    WaveFormat format;
    format.samplesPerSec = samplesPerSec;
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<std::uint16_t>(bits / 8);
    format.avgBytesPerSec = samplesPerSec * format.blockAlign;
    return format;
}

// Wave buffers of 16-bit samples and their headers, as a client owns them.
struct Buffers {
    Buffers(std::size_t count, std::size_t samples)
        : data(count, std::vector<char>(2 * samples)), headers(count) {
        for (std::size_t i = 0; i < count; ++i) {
            headers[i].data = data[i].data();
            headers[i].bufferLength = static_cast<std::uint32_t>(data[i].size());
        }
    }

    std::vector<std::vector<char>> data;
    std::vector<WaveHeader> headers;
};

class SimulatorStreamTest : public ::testing::Test {
protected:
    void open(double speed) {
        SimulatorSettings settings;
        settings.speed = speed;
        simulator.setSettings(settings);
        ASSERT_EQ(simulator.open(stream, 0, monoPcm(rate, 16), event), MMSYSERR_NOERROR);
        ASSERT_NE(stream, nullptr);
    }

    void queue(WaveHeader& header) {
        ASSERT_EQ(stream->prepare(header), MMSYSERR_NOERROR);
        ASSERT_EQ(stream->addBuffer(header), MMSYSERR_NOERROR);
    }

    // Waits for the first `count` headers of `order` to be done, checking at
    // every wake-up that the done ones are a leading run of the queue order.
    bool waitInOrder(const std::vector<WaveHeader*>& order, std::size_t count) {
        const auto giveUp = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            std::size_t done = 0;
            while (done < order.size() && order[done]->done()) {
                ++done;
            }
            for (std::size_t i = done; i < order.size(); ++i) {
                EXPECT_FALSE(order[i]->done()) << "buffer " << i << " done before buffer " << done;
            }
            if (done >= count) {
                return true;
            }
            if (std::chrono::steady_clock::now() > giveUp) {
                return false;
            }
            event.waitFor(100ms);
        }
    }

    // What a fresh tone writes into consecutive buffers of `samples` each.
    std::vector<std::vector<char>> expectedTone(std::size_t buffers, std::size_t samples) {
        FmTone tone(simulator.heartSignal(), rate, simulator.settings().amplitude);
        std::vector<std::vector<char>> result(buffers, std::vector<char>(2 * samples));
        for (auto& buffer : result) {
            tone.fill(buffer.data(), samples, 16);
        }
        return result;
    }

    // Buffers outlive the stream: it is destroyed first and may still hold them.
    Buffers& makeBuffers(std::size_t count, std::size_t samples) {
        return *owned.emplace_back(std::make_unique<Buffers>(count, samples));
    }

    FrontEndSimulator simulator;
    AutoResetEvent event;
    std::vector<std::unique_ptr<Buffers>> owned;
    std::unique_ptr<WaveInStream> stream;
};

TEST_F(SimulatorStreamTest, FillsBuffersInQueueOrderWithOneContinuousTone) {
    open(0.0);
    constexpr std::size_t samples = 1000;
    Buffers& buffers = makeBuffers(4, samples);
    // Queued out of memory order: the queue, not the address, decides.
    const std::vector<std::size_t> order{2, 0, 3, 1};
    std::vector<WaveHeader*> queued;
    for (std::size_t i : order) {
        queue(buffers.headers[i]);
        queued.push_back(&buffers.headers[i]);
    }
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitInOrder(queued, queued.size()));

    const auto expected = expectedTone(order.size(), samples);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const WaveHeader& header = buffers.headers[order[k]];
        EXPECT_EQ(header.bytesRecorded, header.bufferLength);
        EXPECT_EQ(header.flags.load() & WHDR_INQUEUE, 0u);
        EXPECT_EQ(buffers.data[order[k]], expected[k]) << "queue position " << k;
    }
}

TEST_F(SimulatorStreamTest, PacedBuffersComeBackInOrderAndNoSoonerThanTheirSignalTime) {
    constexpr double speed = 2.0;
    open(speed);
    constexpr std::size_t samples = 4096;
    Buffers& buffers = makeBuffers(8, samples);
    std::vector<WaveHeader*> queued;
    for (WaveHeader& header : buffers.headers) {
        queue(header);
        queued.push_back(&header);
    }
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitInOrder(queued, queued.size()));
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
    const double signalSeconds = 8.0 * samples / rate;
    EXPECT_GE(elapsed.count(), 0.99 * signalSeconds / speed);
}

TEST_F(SimulatorStreamTest, QueueHoldsAtMostEightBuffersAndChecksTheirState) {
    open(0.0);
    Buffers& buffers = makeBuffers(9, 64);
    EXPECT_EQ(stream->addBuffer(buffers.headers[0]), WAVERR_UNPREPARED);
    for (std::size_t i = 0; i < 8; ++i) {
        queue(buffers.headers[i]);
    }
    EXPECT_EQ(stream->addBuffer(buffers.headers[0]), WAVERR_STILLPLAYING);
    EXPECT_EQ(stream->unprepare(buffers.headers[0]), WAVERR_STILLPLAYING);
    ASSERT_EQ(stream->prepare(buffers.headers[8]), MMSYSERR_NOERROR);
    EXPECT_EQ(stream->addBuffer(buffers.headers[8]), MMSYSERR_NOMEM);
    EXPECT_EQ(stream->close(), WAVERR_STILLPLAYING);
}

TEST_F(SimulatorStreamTest, ResetHandsEveryBufferBackAndStopsWriting) {
    open(1.0);
    // Two seconds each in real time: none can complete before the reset.
    constexpr std::size_t samples = 2 * rate;
    Buffers& buffers = makeBuffers(3, samples);
    for (WaveHeader& header : buffers.headers) {
        queue(header);
    }
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(20ms);
    event.waitFor(0ms);

    ASSERT_EQ(stream->reset(), MMSYSERR_NOERROR);
    EXPECT_TRUE(event.waitFor(0ms)) << "reset signals the event";
    for (const WaveHeader& header : buffers.headers) {
        EXPECT_TRUE(header.done());
        EXPECT_EQ(header.flags.load() & WHDR_INQUEUE, 0u);
        EXPECT_EQ(header.bytesRecorded, 0u);
    }
    for (auto& data : buffers.data) {
        std::memset(data.data(), 0x5A, data.size());
    }
    std::this_thread::sleep_for(50ms);
    for (const auto& data : buffers.data) {
        EXPECT_EQ(std::count(data.begin(), data.end(), 0x5A), static_cast<long>(data.size()));
    }
    for (WaveHeader& header : buffers.headers) {
        EXPECT_EQ(stream->unprepare(header), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(stream->close(), MMSYSERR_NOERROR);
    EXPECT_EQ(stream->start(), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(stream->close(), MMSYSERR_INVALHANDLE);
}

TEST_F(SimulatorStreamTest, StartAfterResetBeginsTheToneAgainAtTimeZero) {
    open(0.0);
    constexpr std::size_t samples = 512;
    Buffers& first = makeBuffers(2, samples);
    Buffers& second = makeBuffers(1, samples);
    std::vector<WaveHeader*> order;
    for (WaveHeader& header : first.headers) {
        queue(header);
        order.push_back(&header);
    }
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitInOrder(order, order.size()));
    ASSERT_EQ(stream->reset(), MMSYSERR_NOERROR);

    queue(second.headers[0]);
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitInOrder({&second.headers[0]}, 1));
    EXPECT_EQ(second.data[0], first.data[0]);
    EXPECT_NE(second.data[0], first.data[1]);
}

TEST_F(SimulatorStreamTest, DestroyingARunningStreamReturnsItsBuffers) {
    open(1.0);
    Buffers& buffers = makeBuffers(7, rate);
    for (WaveHeader& header : buffers.headers) {
        queue(header);
    }
    ASSERT_EQ(stream->start(), MMSYSERR_NOERROR);
    stream.reset();
    for (const WaveHeader& header : buffers.headers) {
        EXPECT_TRUE(header.done());
        EXPECT_EQ(header.flags.load() & WHDR_INQUEUE, 0u);
    }
}

TEST(FrontEndSimulator, OffersOneDeviceThatRecordsMonoPcmOnly) {
    FrontEndSimulator simulator;
    EXPECT_EQ(simulator.deviceCount(), 1u);
    std::uint32_t formats = 0;
    ASSERT_EQ(simulator.capabilities(0, formats), MMSYSERR_NOERROR);
    EXPECT_EQ(formats, WAVE_FORMAT_ALL);
    EXPECT_EQ(simulator.capabilities(1, formats), MMSYSERR_BADDEVICEID);

    for (std::uint32_t samplesPerSec : {11025u, 199680u, 399360u, 798720u}) {
        EXPECT_EQ(simulator.query(0, monoPcm(samplesPerSec, 8)), MMSYSERR_NOERROR);
        EXPECT_EQ(simulator.query(0, monoPcm(samplesPerSec, 16)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(simulator.query(1, monoPcm(rate, 16)), MMSYSERR_BADDEVICEID);
    WaveFormat stereo = monoPcm(rate, 16);
    stereo.channels = 2;
    stereo.blockAlign = 4;
    stereo.avgBytesPerSec = rate * 4;
    EXPECT_EQ(simulator.query(0, stereo), WAVERR_BADFORMAT);
    EXPECT_EQ(simulator.query(0, monoPcm(rate, 24)), WAVERR_BADFORMAT);
    EXPECT_EQ(simulator.query(0, monoPcm(0, 16)), WAVERR_BADFORMAT);
    WaveFormat notPcm = monoPcm(rate, 16);
    notPcm.formatTag = 3;
    EXPECT_EQ(simulator.query(0, notPcm), WAVERR_BADFORMAT);
    WaveFormat badAlign = monoPcm(rate, 16);
    badAlign.blockAlign = 1;
    EXPECT_EQ(simulator.query(0, badAlign), WAVERR_BADFORMAT);

    AutoResetEvent event;
    std::unique_ptr<WaveInStream> stream;
    EXPECT_EQ(simulator.open(stream, 0, stereo, event), WAVERR_BADFORMAT);
    EXPECT_EQ(stream, nullptr);
}

TEST(FrontEndSimulator, CanBeToldToFailTheNextOpenOrRefuseFormats) {
    FrontEndSimulator simulator;
    AutoResetEvent event;
    std::unique_ptr<WaveInStream> stream;
    simulator.failNextOpen(MMSYSERR_ALLOCATED);
    EXPECT_EQ(simulator.open(stream, 0, monoPcm(rate, 16), event), MMSYSERR_ALLOCATED);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(simulator.open(stream, 0, monoPcm(rate, 16), event), MMSYSERR_NOERROR);
    EXPECT_NE(stream, nullptr);
    stream.reset();

    simulator.refuseFormats(true);
    EXPECT_EQ(simulator.query(0, monoPcm(rate, 16)), WAVERR_BADFORMAT);
    EXPECT_EQ(simulator.open(stream, 0, monoPcm(rate, 16), event), WAVERR_BADFORMAT);
    simulator.refuseFormats(false);
    EXPECT_EQ(simulator.query(0, monoPcm(rate, 16)), MMSYSERR_NOERROR);

    EXPECT_EQ(simulator.errorText(WAVERR_BADFORMAT, 164), standardErrorText(WAVERR_BADFORMAT));
    EXPECT_EQ(simulator.errorText(WAVERR_BADFORMAT, 8),
              standardErrorText(WAVERR_BADFORMAT).substr(0, 7));
}

}  // namespace
}  // namespace acquisition
