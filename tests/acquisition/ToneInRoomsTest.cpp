#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "acquisition/BufferAnalysis.h"
#include "acquisition/HeartSignal.h"
#include "tests/support/RoomModel.h"
#include "tests/support/RoomSeconds.h"
#include "tests/support/ScratchDirectory.h"

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

// In a loud room at most one right second in ten may be marked. Not yet
// met: the companion's errors there come from the echoes' power mixed into
// the tone's frequency for seconds at a time, close to the 0.1 mV that
// makes a second wrong, and the judgement marks the wrong seconds only with
// a good share of the right ones around them.
TEST(ToneInRooms, DISABLED_InALoudRoomTheWrongSecondsAreMarkedAndFewRightOnes) {
    expectMarksInRoom({testsupport::loudRoom, 1010, 0.10});
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
