#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/BufferAnalysis.h"
#include "acquisition/HeartSignal.h"
#include "acquisition/SampleCursor.h"
#include "tests/support/RoomModel.h"
#include "tests/support/RoomSeconds.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ToneFiles.h"

namespace acquisition {
namespace {

using testsupport::Codec;
using testsupport::Room;

constexpr int phoneRate = 48000;
constexpr double seconds = 20.0;

struct Tally {
    int wrong = 0;
    int wrongMarked = 0;
    int right = 0;
    int rightMarked = 0;
};

// Each whole second of the decoded companion judged against the heart
// signal (wrong beyond 0.1 mV RMS at 40 Hz), and whether a reader sees it
// marked.
Tally judgeSeconds(const testsupport::DecodedTone& tone, const HeartSignal& heart) {
    const std::vector<double> errors = testsupport::secondErrors(
        tone.companion, testsupport::heartAtValues(heart, tone.companion.size()));
    const std::vector<bool> marked = testsupport::markedBuffers(tone.quality);
    Tally tally;
    for (std::size_t i = 0; i < errors.size(); ++i) {
        const bool seen = testsupport::secondMarked(marked, static_cast<long long>(i) + 2);
        if (errors[i] > 0.1) {
            tally.wrong += 1;
            tally.wrongMarked += seen ? 1 : 0;
        } else {
            tally.right += 1;
            tally.rightMarked += seen ? 1 : 0;
        }
    }
    return tally;
}

struct Cell {
    Room room;
    std::uint64_t seed;
    double rightMarkedAtMost;
};

// The phone's sound in `cell`'s room kept as WAV, AAC at 64 kbit/s and Opus
// at 24 kbit/s, decoded as the decoder decodes it: the wrong seconds lie in
// buffers judged doubtful or without tone (nine in ten at least), and few of
// the right ones do.
void expectMarksInRoom(const Cell& cell) {
    testsupport::ScratchDirectory scratch;
    const HeartSignal heart;
    const testsupport::RoomRecording phone =
        testsupport::recordInRoom(heart, cell.room, phoneRate, seconds, cell.seed);
    for (const Codec codec : {Codec::Wav, Codec::Aac64, Codec::Opus24}) {
        SCOPED_TRACE(std::string(cell.room.name) + ", " + testsupport::codecName(codec));
        const std::string file =
            testsupport::storeWithCodec(phone.samples, phoneRate, codec, "phone");
        ASSERT_FALSE(file.empty());
        const testsupport::DecodedTone tone = testsupport::decodeTone(file);
        ASSERT_GE(tone.buffers.size(), static_cast<std::size_t>((seconds - 0.5) * 48.75));
        const Tally t = judgeSeconds(tone, heart);
        std::printf("%-16s %-8s wrong %2d (%2d marked)  right %2d (%2d marked)\n", cell.room.name,
                    testsupport::codecName(codec), t.wrong, t.wrongMarked, t.right, t.rightMarked);
        EXPECT_GE(t.wrongMarked, 0.9 * t.wrong);
        EXPECT_LE(t.rightMarked, cell.rightMarkedAtMost * t.right);
    }
}

// Close by in a quiet room and 20 cm away in an ordinary one every second
// comes back right, and at most one in fifty is marked.
TEST(ToneInRooms, InQuietAndOrdinaryRoomsTheRightSecondsStayUnmarked) {
    expectMarksInRoom({testsupport::quietRoom, 1001, 0.02});
    expectMarksInRoom({testsupport::ordinaryRoom, 1002, 0.02});
}

// In a loud room the wrong seconds are marked, and most right ones with
// them: through as much reflected as direct sound a room bends every QRS the
// same way beat after beat (seed 101: its R 0.43 mV low), and whether a
// second's RMS error passes 0.1 mV is a matter of how many QRS it holds,
// not of the moment. Over seeds 100 to 111 (WAV), 131 of the 132 seconds
// right by that measure hold a moment more than 0.2 mV off the heart (87
// more than 0.3 mV). The spectrum's peak and the companion disagree in some
// of those rooms only; the companion's jerks from value to value tell the
// others. This room (seed 114) is one the disagreement alone left with a
// wrong second in five unmarked. Rooms that leave every second right are
// marked less.
TEST(ToneInRooms, InALoudRoomTheWrongSecondsAreMarked) {
    expectMarksInRoom({testsupport::loudRoom, 114, 1.0});
}

// A heart whose own bends could be taken for a room's: 200 a minute,
// R waves of 3 mV, deep S waves and 0.05 mV of muscle noise, on a clear
// tone at the default settings and at settings whose values lie closer or
// further apart. No buffer is doubtful.
TEST(ToneInRooms, ATallFastNoisyHeartOnAClearToneIsNeverDoubtful) {
    HeartSignal::Settings tall;
    tall.beatsPerMinute = 200.0;
    tall.noiseMillivolts = 0.05;
    tall.waves[2].millivolts = 3.0;
    tall.waves[3].millivolts = -0.8;
    const HeartSignal heart(tall);
    struct Count final : BufferSink {
        long buffers = 0;
        long doubtful = 0;
        bool take(const AnalysedBuffer& buffer) override {
            buffers += 1;
            doubtful += buffer.quality == ToneQuality::doubtful ? 1 : 0;
            return true;
        }
    };
    const struct {
        int rate;
        int fftPoints;
    } settings[] = {{199680, 4096}, {199680, 8192}, {199680, 1024}, {798720, 1024}, {798720, 8192}};
    for (const auto& at : settings) {
        SCOPED_TRACE(std::to_string(at.rate) + " Hz, " + std::to_string(at.fftPoints));
        const std::vector<std::int16_t> tone = testsupport::simulatorTone(heart, at.rate, 6.0);
        BufferAnalysis analysis(at.rate, at.fftPoints, at.fftPoints);
        Count count;
        int sign = 1;
        for (std::size_t at0 = 0; at0 + at.fftPoints <= tone.size(); at0 += at.fftPoints) {
            analysis.push(SampleCursor(tone.data() + at0, at.fftPoints), sign, count);
            sign = -sign;
        }
        analysis.finish(count);
        EXPECT_EQ(count.buffers, static_cast<long>(tone.size()) / at.fftPoints);
        EXPECT_EQ(count.doubtful, 0);
    }
}

// The rules a reader's marks follow, on which every figure above rests: a
// dropout of the tone shorter than a second counts as doubtful and, with
// the doubt beside it, makes a stretch of half a second that is listed; a
// shorter doubt alone is not; a second is marked when one buffer holding
// its values lies in a listed stretch, even the one it shares with the
// second before.
TEST(ToneInRooms, ReadersMarksFollowTheListingRules) {
    using Q = ToneQuality;
    std::vector<Q> quality(5 * 49, Q::good);
    const auto set = [&](std::size_t from, std::size_t count, Q q) {
        std::fill_n(quality.begin() + static_cast<std::ptrdiff_t>(from), count, q);
    };
    set(60, 15, Q::withoutTone);  // 0.3 s without tone beside 0.25 s of doubt
    set(75, 12, Q::doubtful);
    set(150, 24, Q::doubtful);  // just short of half a second
    const std::vector<bool> marked = testsupport::markedBuffers(quality);
    EXPECT_EQ(std::count(marked.begin(), marked.end(), true), 27);
    EXPECT_TRUE(marked[60] && marked[86] && !marked[87] && !marked[150]);
    // Buffer 48 holds the last values of second 0 and the first of second 1.
    std::vector<bool> one(quality.size(), false);
    one[48] = true;
    EXPECT_TRUE(testsupport::secondMarked(one, 0) && testsupport::secondMarked(one, 1));
    EXPECT_FALSE(testsupport::secondMarked(one, 2));
}

// The phone is held close, taken away for two seconds (silence) and held
// close again: the buffers of the tone are good from the first second on,
// those between without tone, and the tone's return is good at once, not
// doubtful for what its onset or the silence left behind.
TEST(ToneInRooms, ASilenceBetweenTwoStretchesOfToneLeavesNoDoubt) {
    const HeartSignal heart;
    std::vector<std::int16_t> samples =
        testsupport::recordInRoom(heart, testsupport::quietRoom, phoneRate, 14.0, 7).samples;
    const auto at = [](double s) { return static_cast<std::size_t>(s * phoneRate); };
    std::fill(samples.begin() + static_cast<std::ptrdiff_t>(at(6.0)),
              samples.begin() + static_cast<std::ptrdiff_t>(at(8.0)), std::int16_t{0});
    testsupport::ScratchDirectory scratch;
    testsupport::writeWav("away.wav", phoneRate, 1, samples);
    const testsupport::DecodedTone tone = testsupport::decodeTone("away.wav");
    const auto buffer = [](double s) { return static_cast<std::size_t>(s * 48.75); };
    ASSERT_GE(tone.quality.size(), buffer(13.5));
    const auto count = [&](double from, double to, ToneQuality quality) {
        long n = 0;
        for (std::size_t b = buffer(from); b < buffer(to); ++b) {
            n += tone.quality[b] == quality ? 1 : 0;
        }
        return n;
    };
    const auto all = [&](double from, double to) {
        return static_cast<long>(buffer(to) - buffer(from));
    };
    EXPECT_EQ(count(0.05, 6.0, ToneQuality::good), all(0.05, 6.0));
    EXPECT_EQ(count(6.05, 7.95, ToneQuality::withoutTone), all(6.05, 7.95));
    EXPECT_EQ(count(8.05, 13.5, ToneQuality::good), all(8.05, 13.5));
}

}  // namespace
}  // namespace acquisition
