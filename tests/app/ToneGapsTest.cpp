#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "records/ChangeOutcome.h"
#include "records/FilteredRecording.h"
#include "records/PartialSave.h"
#include "records/RecordCopy.h"
#include "records/RecordedCopy.h"
#include "records/RecordingFacts.h"
#include "records/SampleFile.h"
#include "render/PaperPrinter.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/PrintedPages.h"
#include "tests/support/ProgramShell.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"
#include "tests/support/ToneGaps.h"

// Where a tone file held no tone of the front end, every output of the
// recording made of it says so, at the place it was: the facts, the EDF+ of
// --decode and of --export-edf, the printout, and the recording after SAVE,
// FILTER and a copy.

namespace {

namespace fs = std::filesystem;
using testsupport::ToneStretch;
using Kind = testsupport::ToneStretch::Kind;
using Stretches = std::vector<std::pair<long long, long long>>;
using Marks = std::vector<std::pair<double, double>>;

constexpr double valuesPerSecond = 48.75;

using Outcome = testsupport::ProgramOutcome;

Outcome run(const std::string& arguments, const std::string& prefix = "") {
    return testsupport::runInShell(TRELMONT_PROGRAM, arguments, prefix);
}

Stretches stretchesOf(const std::string& record) {
    const records::FactsReading facts = records::readFacts(record);
    EXPECT_EQ(facts.status, records::FactsReading::Status::Read) << facts.reason;
    return facts.facts.linesWithoutTone;
}

Stretches doubtfulOf(const std::string& record) {
    return records::readFacts(record).facts.linesWithDoubtfulTone;
}

// Each mark at the time and for the duration of its stretch, to the buffer.
void expectMarks(const Marks& marks, const Stretches& stretches) {
    ASSERT_EQ(marks.size(), stretches.size());
    for (std::size_t i = 0; i < marks.size(); ++i) {
        SCOPED_TRACE("mark " + std::to_string(i));
        EXPECT_NEAR(marks[i].first * valuesPerSecond, static_cast<double>(stretches[i].first), 0.5);
        EXPECT_NEAR(marks[i].second * valuesPerSecond, static_cast<double>(stretches[i].second),
                    0.5);
    }
}

// How long the marks of `colour` on a printed page are, in millimetres (ten
// pixels each at 254 dpi): each bar (rows of the mark's colour in runs of
// 2 mm and more, at least half a millimetre deep: no letter or edge of a
// line is) from its leftmost to its rightmost pixel, as a trace drawn over
// it may hide any part between.
double barMillimetres(const testsupport::PrintedPage& page, platform::Rgb colour) {
    const auto grey = [&page, colour](int x, int y) {
        const unsigned char* p = page.pixel(x, y);
        const auto near = [](int v, int w) { return std::abs(v - w) <= 6; };
        return near(p[0], colour.r) && near(p[1], colour.g) && near(p[2], colour.b);
    };
    int total = 0;
    int rows = 0;
    int left = page.width;
    int right = -1;
    for (int y = 0; y < page.height; ++y) {
        bool bar = false;
        int run = 0;
        for (int x = 0; x <= page.width; ++x) {
            if (x < page.width && grey(x, y)) {
                ++run;
                continue;
            }
            if (run >= 20) {
                bar = true;
                left = std::min(left, x - run);
                right = std::max(right, x);
            }
            run = 0;
        }
        rows = bar ? rows + 1 : rows;
        if (!bar && right >= 0) {
            total += rows >= 5 ? right - left : 0;
            left = page.width;
            right = -1;
            rows = 0;
        }
    }
    return total / 10.0;
}

// Tone, silence, tone, noise, tone, a dropout of 0.6 s, tone: decoded, the
// two stretches without tone are listed at their lines (the recording starts
// with the file's second buffer), the dropout, too short to be one, as
// doubtful; each marked in the EDF+ of --decode and --export-edf and on
// paper, and counted in --decode's last line; SAVE of a stretch that cuts
// them, FILTER and a slot copy keep them at their places among the lines
// kept.
TEST(ToneGaps, EveryOutputCarriesTheStretchesWithoutToneAtTheirPlace) {
    testsupport::ScratchDirectory scratch;
    testsupport::writeWav("gaps.wav", 199680, 1,
                          testsupport::toneInStretches({{Kind::Tone, 250},
                                                        {Kind::Silence, 150},
                                                        {Kind::Tone, 200},
                                                        {Kind::Noise, 150},
                                                        {Kind::Tone, 200},
                                                        {Kind::Silence, 30},
                                                        {Kind::Tone, 200}}));
    const Stretches expected{{249, 150}, {599, 150}};
    const Stretches doubtful{{949, 30}};

    Outcome decoded = run("--decode gaps.wav REC.txt");
    ASSERT_EQ(decoded.code, 0) << decoded.err;
    EXPECT_EQ(stretchesOf("REC.txt"), expected);
    EXPECT_EQ(doubtfulOf("REC.txt"), doubtful);
    EXPECT_NE(decoded.err.find("trelmont-ecg: 24 s of ECG, 1 s doubtful, 6 s without tone\n"),
              std::string::npos)
        << decoded.err;
    decoded = run("--decode gaps.wav direct.edf");
    ASSERT_EQ(decoded.code, 0) << decoded.err;
    const testsupport::ReadBack direct = testsupport::readWithBiosig("direct.edf");
    expectMarks(direct.withoutTone, expected);
    expectMarks(direct.doubtful, doubtful);
    const Outcome exported = run("--export-edf REC.txt exported.edf");
    ASSERT_EQ(exported.code, 0) << exported.err;
    const testsupport::ReadBack back = testsupport::readWithBiosig("exported.edf");
    expectMarks(back.withoutTone, expected);
    expectMarks(back.doubtful, doubtful);
    // Without its companion the export sends the record's own values, which
    // in a stretch without tone are the strongest frequency of silence or
    // noise, hundreds of millivolts: bridged there instead, under the same
    // marks.
    fs::rename("REC.hr.txt", "REC.hr.away");
    ASSERT_EQ(run("--export-edf REC.txt alone.edf").code, 0);
    fs::rename("REC.hr.away", "REC.hr.txt");
    const testsupport::ReadBack alone = testsupport::readWithBiosig("alone.edf");
    EXPECT_DOUBLE_EQ(alone.samplingRate, valuesPerSecond);
    expectMarks(alone.withoutTone, expected);
    ASSERT_GT(alone.millivolts.size(), 1000u);
    for (const double mV : alone.millivolts) {
        ASSERT_LT(std::abs(mV), 3.0);
    }

    // On paper: the legend in the header, and grey bars as long as the two
    // stretches (0.513 mm a line at 25 mm/s), less what the trace hides at
    // their ends.
    const Outcome printed = run("--print-pdf strips.pdf");
    ASSERT_EQ(printed.code, 0) << printed.err;
    ASSERT_EQ(std::system("pdftotext strips.pdf strips.txt"), 0);
    const std::string legend = testsupport::readFile("strips.txt");
    EXPECT_NE(legend.find("no ECG tone"), std::string::npos);
    EXPECT_NE(legend.find("doubtful ECG tone"), std::string::npos);
    double grey = 0.0;
    double orange = 0.0;
    for (const testsupport::PrintedPage& page : testsupport::renderPdf("strips.pdf", 254)) {
        grey += barMillimetres(page, render::PaperPrinter::withoutToneColour);
        orange += barMillimetres(page, render::PaperPrinter::doubtfulToneColour);
    }
    EXPECT_NEAR(grey, 300 * 25.0 / valuesPerSecond, 10.0);
    EXPECT_NEAR(orange, 30 * 25.0 / valuesPerSecond, 3.0);

    // Lines 301 to 700 (from 1): the first stretch's end and the second's
    // start.
    const Stretches kept{{0, 99}, {299, 101}};
    ASSERT_EQ(records::saveStretch({301, 700}, 1).status, records::ChangeOutcome::Status::Done);
    EXPECT_EQ(stretchesOf("REC.txt"), kept);
    EXPECT_EQ(doubtfulOf("REC.txt"), Stretches{});
    EXPECT_EQ(stretchesOf("REC1.txt"), kept);
    ASSERT_EQ(records::writeRecordedCopy("REC1.txt", "sent.edf", 199680, 4096), "");
    expectMarks(testsupport::readWithBiosig("sent.edf").withoutTone, kept);
    std::vector<double> filtered;
    ASSERT_EQ(records::filterWorkingRecording({}, filtered).status,
              records::ChangeOutcome::Status::Done);
    EXPECT_EQ(stretchesOf("REC.txt"), kept);
    ASSERT_TRUE(records::copyRecordFile("REC2.txt", "REC.txt"));
    EXPECT_EQ(stretchesOf("REC2.txt"), kept);
    records::SampleFile::close();
}

// The facts of `record` listing `stretches` without tone instead.
void listWithoutTone(const std::string& record, const Stretches& stretches) {
    std::string text = testsupport::readFile(records::factsPath(record));
    const std::size_t at = text.find("lines-without-tone:");
    ASSERT_NE(at, std::string::npos);
    std::string list = "lines-without-tone:";
    for (const auto& [first, count] : stretches) {
        // Appended piece by piece: GCC 12 warns wrongly about "x" + string&&.
        list.append(" ").append(std::to_string(first)).append("+").append(std::to_string(count));
    }
    text.replace(at, text.find('\n', at) - at, list);
    ASSERT_TRUE(testsupport::writeBytes(records::factsPath(record), text));
}

// Gaps as short and as close as a listed stretch can be (a second without
// tone, a second with): each comes back from the EDF+ of --decode and of
// --export-edf. Facts from elsewhere may list stretches far closer: the
// export keeps every mark, several to a data record, and where even its
// most annotation signals cannot hold them, it fails and says so.
TEST(ToneGaps, EveryMarkComesBackHoweverCloseTheStretches) {
    testsupport::ScratchDirectory scratch;
    std::vector<ToneStretch> stretches{{Kind::Tone, 300}};
    Stretches expected;
    long long line = 299;
    for (int gap = 0; gap < 12; ++gap) {
        stretches.push_back({Kind::Silence, 50});
        stretches.push_back({Kind::Tone, 50});
        expected.emplace_back(line, 50);
        line += 100;
    }
    testsupport::writeWav("dense.wav", 199680, 1, testsupport::toneInStretches(stretches));
    Outcome decoded = run("--decode dense.wav dense.txt");
    ASSERT_EQ(decoded.code, 0) << decoded.err;
    EXPECT_EQ(stretchesOf("dense.txt"), expected);
    decoded = run("--decode dense.wav dense.edf");
    ASSERT_EQ(decoded.code, 0) << decoded.err;
    const testsupport::ReadBack direct = testsupport::readWithBiosig("dense.edf");
    expectMarks(direct.withoutTone, expected);
    EXPECT_GT(direct.endOfRecording, 0.0);
    Outcome exported = run("--export-edf dense.txt exported.edf");
    ASSERT_EQ(exported.code, 0) << exported.err;
    expectMarks(testsupport::readWithBiosig("exported.edf").withoutTone, expected);

    // Two lines in four: about 24 marks a data record of two seconds.
    Stretches close;
    for (long long first = 0; first + 2 <= 1500; first += 4) {
        close.emplace_back(first, 2);
    }
    listWithoutTone("dense.txt", close);
    close = stretchesOf("dense.txt");
    ASSERT_GT(close.size(), 300u);
    exported = run("--export-edf dense.txt close.edf");
    ASSERT_EQ(exported.code, 0) << exported.err;
    expectMarks(testsupport::readWithBiosig("close.edf").withoutTone, close);

    // One line in two of a record without companion: 97 marks a data
    // record of four seconds, beyond the 64 annotation signals.
    fs::remove("dense.hr.txt");
    Stretches closest;
    for (long long first = 0; first < 1500; first += 2) {
        closest.emplace_back(first, 1);
    }
    listWithoutTone("dense.txt", closest);
    exported = run("--export-edf dense.txt closest.edf");
    EXPECT_EQ(exported.code, 1);
    EXPECT_NE(exported.err.find("annotations"), std::string::npos) << exported.err;
    EXPECT_FALSE(fs::exists("closest.edf"));
}

// Five seconds of tone make an ECG; a burst of three between silences is no
// recording of the front end.
TEST(ToneGaps, ABurstOfToneMustLastFiveSeconds) {
    testsupport::ScratchDirectory scratch;
    for (const int seconds : {3, 6}) {
        SCOPED_TRACE(std::to_string(seconds) + " s of tone");
        const auto buffers = static_cast<int>(seconds * valuesPerSecond);
        testsupport::writeWav(
            "burst.wav", 199680, 1,
            testsupport::toneInStretches(
                {{Kind::Silence, 100}, {Kind::Tone, buffers}, {Kind::Silence, 100}}));
        const Outcome decoded = run("--decode burst.wav burst.edf");
        if (seconds < 5) {
            EXPECT_EQ(decoded.code, 1);
            EXPECT_NE(decoded.err.find("No ECG tone"), std::string::npos) << decoded.err;
            EXPECT_FALSE(fs::exists("burst.edf"));
        } else {
            EXPECT_EQ(decoded.code, 0) << decoded.err;
            EXPECT_TRUE(fs::exists("burst.edf"));
        }
    }
}

// Ten minutes without tone between two of tone are held back on disk until
// the tone returns; a disk that takes no more (a file-size limit of 1 MB)
// fails the decoding with the reason, leaving nothing, where it once
// dropped what it could not hold and called that a recording.
TEST(ToneGaps, AHoldBackThatCannotBeWrittenFailsTheDecoding) {
    testsupport::ScratchDirectory scratch;
    ASSERT_EQ(std::system("ffmpeg -v error -f lavfi -i sine=frequency=1716:sample_rate=8000:"
                          "duration=60 t.wav && ffmpeg -v error -f lavfi -i anullsrc=r=8000:cl=mono"
                          " -t 600 s.wav && ffmpeg -v error -i t.wav -i s.wav -i t.wav "
                          "-filter_complex concat=n=3:v=0:a=1 -c:a pcm_s16le gap.wav"),
              0);
    const Outcome decoded = run("--decode gap.wav out.edf", "trap \"\" XFSZ; ulimit -f 977;");
    EXPECT_EQ(decoded.code, 1);
    EXPECT_NE(decoded.err.find("held back"), std::string::npos) << decoded.err;
    EXPECT_NE(decoded.err.find("File too large"), std::string::npos) << decoded.err;
    for (const auto& entry : fs::directory_iterator(".")) {
        EXPECT_EQ(entry.path().filename().string().rfind("out.edf", 0), std::string::npos)
            << entry.path();
    }
}

}  // namespace
