#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "records/FolderLock.h"
#include "records/RecordingFacts.h"
#include "tests/support/PrintedPages.h"
#include "tests/support/ScratchDirectory.h"

namespace {

long long lines(const std::string& name) {
    const std::string text = testsupport::readFile(name);
    return std::count(text.begin(), text.end(), '\n');
}

// Runs a shell command line with the program's test environment.
int runShell(const std::string& command) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The sound input, where a test uses it, is a device of the tests' own.
    setenv("ALSA_CONFIG_PATH", "asound.conf", 1);
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string program = TRELMONT_PROGRAM;

int run(const std::string& arguments) {
    return runShell(program + " " + arguments);
}

// The program as a kiosk or a script runs it: five seconds from the
// simulator, unattended, with a picture of the window at the end.
TEST(ProgramRun, RecordsUnattendedAndLeavesTheRecordingAndAScreenshot) {
    testsupport::ScratchDirectory scratch;
    ASSERT_EQ(run("--simulate --record 5 --screenshot shot.png"), 0);

    // 48.75 values a second; the unattended stop comes within a second.
    const long long stored = lines("REC1.txt");
    EXPECT_NEAR(static_cast<double>(stored), 5 * 48.75, 48.75);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), testsupport::readFile("REC.txt"));

    const QImage shot("shot.png");
    ASSERT_FALSE(shot.isNull());
    EXPECT_GE(shot.width(), 1028);
    EXPECT_GE(shot.height(), 739);
    // Pink paper over the five panes, and a dark trace in the first, which
    // five seconds fill to about half.
    long long pink = 0;
    long long trace = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.red() > 230 && c.green() > 120 && c.green() < 180 && c.blue() > 120 &&
                c.blue() < 180) {
                pink += 1;
            }
            const bool inFirstPane = y > 82 && y < 208 && x > 24 && x < 984;
            if (inFirstPane && c.red() < 90 && c.green() < 90 && c.blue() < 90) {
                trace += 1;
            }
        }
    }
    EXPECT_GT(pink, 20000);
    EXPECT_GT(trace, 300);
}

// On a screen of twice the density the paper is drawn in device pixels: its
// lines stay one device pixel wide instead of two blocky ones.
TEST(ProgramRun, AtScaleTwoThePaperLinesAreOneDevicePixelWide) {
    testsupport::ScratchDirectory scratch;
    ASSERT_EQ(
        runShell("QT_SCALE_FACTOR=2 " + program + " --simulate --record 2 --screenshot big.png"),
        0);
    const QImage shot("big.png");
    ASSERT_GE(shot.width(), 2 * 1028);
    ASSERT_GE(shot.height(), 2 * 739);
    // Row 2 of the first strip (its picture starts at 25, 82) crosses the
    // vertical lines, every 20 pixels, and no dots.
    const int y = 2 * (82 + 2) + 1;
    int crossings = 0;
    int widest = 0;
    int run = 0;
    for (int x = 2 * 25; x < 2 * (25 + 958); ++x) {
        const QColor c = shot.pixelColor(x, y);
        const bool pink = c.red() == 255 && c.green() == 150 && c.blue() == 150;
        run = pink ? run + 1 : 0;
        crossings += run == 1 ? 1 : 0;
        widest = std::max(widest, run);
    }
    EXPECT_GE(crossings, 45);
    EXPECT_EQ(widest, 1);
    // Recorded values are the same at any scale: about two seconds' worth.
    EXPECT_NEAR(static_cast<double>(lines("REC1.txt")), 2 * 48.75, 48.75);
}

// A logout or a kill in the middle of a recording: the window closes as its
// close box does, every stored value is whole, and the exit code is 0.
TEST(ProgramRun, ATerminationSignalClosesTheWindowCleanly) {
    testsupport::ScratchDirectory scratch;
    const int code = run("--simulate --record 60 & pid=$!; sleep 4; kill -TERM $pid; wait $pid");
    EXPECT_EQ(code, 0);
    const std::string stored = testsupport::readFile("REC.txt");
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.back(), '\n');
}

// Printing without a window, when there is nothing to print: a clear refusal
// and no file.
TEST(ProgramRun, PrintsNoPdfWithoutARecording) {
    testsupport::ScratchDirectory scratch;
    EXPECT_EQ(run("--print-pdf none.pdf 2>err.txt"), 1);
    EXPECT_FALSE(std::filesystem::exists("none.pdf"));
    EXPECT_NE(testsupport::readFile("err.txt").find("nothing to print"), std::string::npos);
    std::ofstream("REC.txt").close();
    EXPECT_EQ(run("--print-pdf none.pdf 2>/dev/null"), 1);
    EXPECT_FALSE(std::filesystem::exists("none.pdf"));
}

// A known rhythm: 975 values (20.0 s at 48.75 a second), flat at 0 mV with a
// 1.5 mV spike every 49 values, stored as a capture stores it, its last value
// stored at 2024-03-01 10:00:20 UTC.
void writeSpikeRecord() {
    {
        std::ofstream record("REC.txt");
        for (int i = 0; i < 975; ++i) {
            const double value = 57.2 + (i % 49 == 10 ? 1.5 * 5.48 : 0.0);
            record << std::fixed << value + (i % 2 == 0 ? 744.0 : -744.0) << " \n";
        }
    }
    const timespec stored{1709287220, 0};
    const timespec times[2] = {stored, stored};
    ASSERT_EQ(::utimensat(AT_FDCWD, "REC.txt", times, 0), 0);
}

// The printout read back as a clinician reads it, at 254 dpi (ten pixels a
// millimetre): the grid in 1 mm squares with every fifth line stronger, the
// beats 49 values apart at 25 mm/s, a 1 mV pulse as high as 5 mm/mV makes
// it, and the header and the strips' start times as text.
TEST(ProgramRun, PrintsAnEcgAt25MillimetresASecondOnTheGrid) {
    testsupport::ScratchDirectory scratch;
    writeSpikeRecord();
    setenv("TZ", "UTC", 1);
    const int code = run("--print-pdf ecg.pdf");
    unsetenv("TZ");
    ASSERT_EQ(code, 0);

    const std::string text = testsupport::pdfText("ecg.pdf");
    for (const char* expected :
         {"trelmont-ecg", "start 2024-03-01T10:00:00+00:00", "duration 0:20.0", "25 mm/s",
          "5 mm/mV", "48.75 values/s", "unfiltered", "page 1 of 1", "Name: __", "Date of birth: __",
          "0:00.0", "0:09.4", "0:18.9"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    }

    const std::vector<testsupport::PrintedPage> pages = testsupport::renderPdf("ecg.pdf", 254);
    ASSERT_EQ(pages.size(), 1u);
    const testsupport::PrintedPage& page = pages[0];
    EXPECT_GT(page.width, page.height);

    // The grid, low on the page where no strip lies, across and down.
    int row = page.height * 82 / 100;
    while (testsupport::gridLines(page, true, row, 0, page.width).size() < 100) {
        row += 3;  // on a line itself: step off it
    }
    int column = page.width / 2;
    while (testsupport::gridLines(page, false, column, row - 250, row + 150).size() < 20) {
        column += 3;
    }
    for (const auto& lines : {testsupport::gridLines(page, true, row, 0, page.width),
                              testsupport::gridLines(page, false, column, row - 250, row + 150)}) {
        ASSERT_GT(lines.size(), 20u);
        int lastStrong = -1;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            EXPECT_NEAR(lines[i].centre - lines[i - 1].centre, 10.0, 1.0) << "line " << i;
        }
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].green < 160) {
                EXPECT_TRUE(lastStrong < 0 || i - static_cast<std::size_t>(lastStrong) == 5)
                    << "strong line " << i << " after " << lastStrong;
                lastStrong = static_cast<int>(i);
            }
        }
        EXPECT_GE(lastStrong, 10);
    }

    // Two full strips (the third holds 55 values), each a flat line with its
    // calibration pulse and then a spike every 49 values.
    const std::vector<double> baselines = testsupport::traceBaselines(page, 1500);
    ASSERT_EQ(baselines.size(), 2u);
    for (const double baseline : baselines) {
        const std::vector<testsupport::Rise> rises =
            testsupport::risesAbove(page, baseline, 20, 150);
        ASSERT_GE(rises.size(), 10u);
        const testsupport::Rise& pulse = rises[0];
        // 200 ms wide (a pen's width more), 1 mV = 5 mm high at its middle.
        EXPECT_NEAR(pulse.right - pulse.left, 50.0 + 2.5, 5.0);
        const int middle = static_cast<int>(pulse.middle());
        int strokeEnd = pulse.top;
        while (page.ink(middle, strokeEnd + 1)) {
            ++strokeEnd;
        }
        EXPECT_NEAR(baseline - (pulse.top + strokeEnd) / 2.0, 50.0, 5.0);
        for (std::size_t i = 2; i < rises.size(); ++i) {
            EXPECT_NEAR(rises[i].middle() - rises[i - 1].middle(), 49 / 48.75 * 25 * 10, 5.0)
                << "spike " << i;
            EXPECT_NEAR(baseline - rises[i].top, 1.5 * 5 * 10, 5.0) << "spike " << i;
        }
        // The trace lies on top of the grid: between the beats its line is
        // unbroken.
        const int y = static_cast<int>(std::lround(baseline));
        for (std::size_t i = 2; i < rises.size(); ++i) {
            const int from = rises[i - 1].right + 10;
            const int to = rises[i].left - 10;
            EXPECT_EQ(page.inkInRow(y, from, to), to - from) << "after spike " << i - 1;
        }
    }
}

// The same rhythm as its high-rate companion holds it: 9750 values at 487.5
// a second, each spike 1.5 mV high and three values (6 ms) wide, values 3 to
// 5 of the record's line; the record stores each line's mean, where the
// spike is less than a third as high.
void writeSpikeRecordWithCompanion() {
    {
        std::ofstream record("REC.txt");
        std::ofstream companion("REC.hr.txt");
        record << std::fixed;
        companion << std::fixed;
        for (int i = 0; i < 975; ++i) {
            double sum = 0.0;
            for (int j = 0; j < 10; ++j) {
                const double value = 57.2 + (i % 49 == 10 && j >= 3 && j <= 5 ? 1.5 * 5.48 : 0.0);
                companion << value << (j < 9 ? " " : "\n");
                sum += value;
            }
            record << sum / 10 + (i % 2 == 0 ? 744.0 : -744.0) << " \n";
        }
    }
    const timespec stored{1709287220, 0};
    const timespec times[2] = {stored, stored};
    ASSERT_EQ(::utimensat(AT_FDCWD, "REC.txt", times, 0), 0);
}

// With its companion, the printout draws what the record alone cannot: the
// narrow spikes at their full height, where they lie at 25 mm/s, and says
// at what rate.
TEST(ProgramRun, PrintsTheCompanionWhereARecordingHasOne) {
    testsupport::ScratchDirectory scratch;
    writeSpikeRecordWithCompanion();
    ASSERT_EQ(run("--print-pdf hr.pdf"), 0);
    const std::string text = testsupport::pdfText("hr.pdf");
    for (const char* expected : {"duration 0:20.0", "487.5 values/s", "0:09.4", "0:18.9"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    }
    EXPECT_EQ(text.find("48.75 values/s"), std::string::npos) << text;

    const std::vector<testsupport::PrintedPage> pages = testsupport::renderPdf("hr.pdf", 254);
    ASSERT_EQ(pages.size(), 1u);
    const std::vector<double> baselines = testsupport::traceBaselines(pages[0], 1500);
    ASSERT_EQ(baselines.size(), 2u);
    // The first spike of each strip: line 10 of the first, line 500 (40 of
    // the second strip, which starts at line 460).
    const int firstSpike[] = {10, 40};
    for (std::size_t strip = 0; strip < baselines.size(); ++strip) {
        const double baseline = baselines[strip];
        const std::vector<testsupport::Rise> rises =
            testsupport::risesAbove(pages[0], baseline, 20, 150);
        ASSERT_GE(rises.size(), 10u);
        // The pulse rises 3 mm into the strip, whose values start at 12 mm:
        // the middle of a spike in companion values 10 k + 3 to 10 k + 5 lies
        // 9 mm + (10 k + 4) / 487.5 s after it.
        EXPECT_NEAR(rises[1].middle() - rises[0].left,
                    (9 + (10 * firstSpike[strip] + 4) / 487.5 * 25) * 10, 4.0)
            << "strip " << strip;
        for (std::size_t i = 1; i < rises.size(); ++i) {
            EXPECT_NEAR(baseline - rises[i].top, 1.5 * 5 * 10, 5.0) << "spike " << i;
            if (i >= 2) {
                EXPECT_NEAR(rises[i].middle() - rises[i - 1].middle(), 490 / 487.5 * 25 * 10, 4.0)
                    << "spike " << i;
            }
        }
    }
}

// The medical centre's form without a window: EDF+ from a record file, or a
// one-line reason and no file.
TEST(ProgramRun, ExportsARecordAsEdf) {
    testsupport::ScratchDirectory scratch;
    {
        std::ofstream record("REC1.txt");
        for (int i = 0; i < 300; ++i) {
            record << (i % 2 == 0 ? 801.2 : -686.8) << " \n";
        }
    }
    ASSERT_EQ(run("--export-edf REC1.txt sent.edf"), 0);
    EXPECT_EQ(testsupport::readFile("sent.edf").compare(192, 5, "EDF+C"), 0);
    std::ofstream("empty.txt").close();
    for (const std::string bad : {"missing.txt", "empty.txt", "."}) {
        EXPECT_EQ(run("--export-edf " + bad + " bad.edf 2>err.txt"), 1) << bad;
        EXPECT_FALSE(std::filesystem::exists("bad.edf")) << bad;
        const std::string err = testsupport::readFile("err.txt");
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    EXPECT_EQ(run("--export-edf REC1.txt 2>/dev/null"), 2);
}

// A recording cut off by SIGKILL (a crash, a power cut of the process): every
// value the file showed before the kill is there afterwards, as a whole line.
TEST(ProgramRun, AKilledRecordingKeepsEveryValueStored) {
    testsupport::ScratchDirectory scratch;
    const int stored = 100;
    const std::string script =
        "--simulate --record 60 >/dev/null 2>&1 & pid=$!; "
        "for i in $(seq 600); do "
        "  [ -f REC.txt ] && [ $(wc -l < REC.txt) -ge " +
        std::to_string(stored) +
        " ] && break; "
        "  sleep 0.05; done; "
        "kill -KILL $pid; wait $pid; [ $(wc -l < REC.txt) -ge " +
        std::to_string(stored) + " ]";
    EXPECT_EQ(run(script), 0);
    const std::string text = testsupport::readFile("REC.txt");
    const auto whole = std::count(text.begin(), text.end(), '\n');
    EXPECT_GE(whole, stored);
    // Nothing but whole lines: the kill cannot cut a value in half.
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    // The companion line goes first: the kill leaves it at most one line
    // ahead, and the next start stores both in slot 1 ending on one line.
    const long long companion = lines("REC.hr.txt");
    EXPECT_GE(companion, whole);
    EXPECT_LE(companion, whole + 1);
    EXPECT_EQ(run("--simulate >/dev/null 2>&1 & pid=$!; sleep 3; kill -TERM $pid; wait $pid"), 0);
    EXPECT_EQ(lines("REC1.txt"), whole);
    EXPECT_EQ(lines("REC1.hr.txt"), whole);
    EXPECT_EQ(lines("REC.hr.txt"), whole);
}

// A working file that never ends (a link to /dev/zero) or never opens (a
// pipe) is refused: the unattended run ends at once and writes nothing.
TEST(ProgramRun, AWorkingFileThatIsNoRecordFileIsRefused) {
    const std::pair<std::string, std::string> files[] = {{"ln -s /dev/zero REC.txt", "is a link"},
                                                         {"mkfifo REC.txt", "not a regular file"}};
    for (const auto& [make, said] : files) {
        testsupport::ScratchDirectory scratch;
        ASSERT_EQ(std::system(make.c_str()), 0);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(run("--simulate --record 3 2>err.txt"), 1) << make;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << make;
        EXPECT_NE(testsupport::readFile("err.txt").find(said), std::string::npos) << make;
        EXPECT_FALSE(std::filesystem::exists("REC1.txt")) << make;
        std::uintmax_t written = 0;
        for (const auto& entry : std::filesystem::directory_iterator(".")) {
            if (entry.is_regular_file()) {
                written += entry.file_size();
            }
        }
        EXPECT_LT(written, 100000u) << make;
    }
}

// A sound card pulled out two seconds into an unattended recording (an ALSA
// device of the tests' own that fails like one): PortAudio retries the card
// for ever, yet the recording stops through the stop path with what was
// delivered, the box says why, the program ends, and the sound library's
// endless complaints do not flood standard error.
TEST(ProgramRun, ASoundCardPulledOutStopsTheRecordingWithItsValues) {
    testsupport::ScratchDirectory scratch;
    const int rate = 199680;
    std::ofstream("asound.conf") << "pcm_type.trelmont_ending { lib \"" << TRELMONT_ENDING_PCM
                                 << "\" }\n"
                                 << "pcm.!default { type trelmont_ending frames " << 2 * rate
                                 << " end \"unplug\" }\n";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("--record 30 2>err.txt"), 1);
    const auto took = std::chrono::steady_clock::now() - start;
    // Two seconds of sound, three of silence before it counts as lost, two
    // at most for a stop that PortAudio does not answer.
    EXPECT_LT(took, std::chrono::seconds(20));

    const std::string err = testsupport::readFile("err.txt");
    EXPECT_NE(err.find("The sound input stopped delivering: no sound arrived from the device for "
                       "3 seconds"),
              std::string::npos)
        << err.substr(0, 2000);
    EXPECT_NE(err.find("trelmont-ecg: the unattended recording was stopped by a failure"),
              std::string::npos);
    EXPECT_LT(err.size(), 20000u);
    // 48.75 values a second for two seconds, less what ALSA held when the
    // card went.
    const long long stored = lines("REC.txt");
    EXPECT_GE(stored, 70);
    EXPECT_LE(stored, 98);
    EXPECT_EQ(testsupport::readFile("REC1.txt"), testsupport::readFile("REC.txt"));
}

// The program stopped for a second while the sound card ran on (SIGSTOP, a
// debugger, a machine swapping): the card overran and PortAudio says so, and
// the ALSA device of the tests' own does it on cue and tells what its clock
// lost. The sound lost is counted where it happened, the lines after it stand
// at their time, the recording is as long as the card's clock ran, and the
// EDF+ export marks the gap.
TEST(ProgramRun, SoundTheCardLostWhileTheProgramStoodStillIsCountedInItsPlace) {
    testsupport::ScratchDirectory scratch;
    const long long rate = 199680;
    const long long samplesPerBuffer = 4096;
    const std::string report = (std::filesystem::current_path() / "card.txt").string();
    std::ofstream("asound.conf") << "pcm_type.trelmont_ending { lib \"" << TRELMONT_ENDING_PCM
                                 << "\" }\n"
                                 << "pcm.!default { type trelmont_ending frames 2000000000 "
                                 << "end \"stall\" overrun " << rate << " late " << rate
                                 << " report \"" << report << "\" }\n";
    ASSERT_EQ(run("--record 4 2>err.txt"), 0) << testsupport::readFile("err.txt");

    long long lost = 0;
    long long from = 0;
    long long clock = 0;
    std::string word;
    std::istringstream(testsupport::readFile("card.txt")) >> word >> lost >> word >> from >> word >>
        clock;
    // The card ran a second behind, and lost that, whatever the machine's load.
    ASSERT_GE(lost, rate);
    const auto facts = records::readFacts("REC.txt");
    ASSERT_EQ(facts.status, records::FactsReading::Status::Read);
    const std::vector<long long>& dropped = facts.facts.droppedAfterLines;
    const double lostBuffers = static_cast<double>(lost) / samplesPerBuffer;
    EXPECT_NEAR(static_cast<double>(dropped.size()), lostBuffers, 1.0);
    ASSERT_FALSE(dropped.empty());
    // All of them where the program stopped reading, within a buffer: after
    // the lines stored before them and the buffers skipped before those.
    EXPECT_EQ(dropped.front(), dropped.back());
    const std::vector<long long>& skipped = facts.facts.skippedAfterLines;
    const auto before =
        dropped.front() +
        (std::lower_bound(skipped.begin(), skipped.end(), dropped.front()) - skipped.begin());
    EXPECT_NEAR(static_cast<double>(before), static_cast<double>(from) / samplesPerBuffer, 1.0);
    // Every buffer of the card's clock has its place: stored or skipped.
    // A stop drops what ALSA and the queue held then, a few buffers.
    const long long placed =
        lines("REC.txt") + static_cast<long long>(facts.facts.skippedAfterLines.size());
    EXPECT_LE(placed, clock / samplesPerBuffer + 1);
    EXPECT_GE(placed, clock / samplesPerBuffer - 12);

    ASSERT_EQ(run("--export-edf REC.txt sent.edf"), 0);
    EXPECT_NE(testsupport::readFile("sent.edf").find("not recorded (the computer fell behind)"),
              std::string::npos);
}

TEST(ProgramRun, RejectsABadRecordDuration) {
    testsupport::ScratchDirectory scratch;
    EXPECT_EQ(run("--record 0 2>/dev/null"), 2);
    EXPECT_EQ(run("--screenshot 2>/dev/null"), 2);
    // A wander that only the simulator could add is refused, not ignored.
    EXPECT_EQ(run("--wander 1 --record 3 2>err.txt"), 2);
    EXPECT_NE(testsupport::readFile("err.txt").find("--wander needs --simulate"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("REC.txt"));
}

// A records folder holds the recording and the slots; the file names typed
// on the command line stay where the command was typed.
TEST(ProgramRun, KeepsTheRecordsInTheRecordsFolder) {
    testsupport::ScratchDirectory scratch;
    ASSERT_EQ(run("--simulate --record 2 --records ecg/today --screenshot shot.png"), 0);
    EXPECT_GT(lines("ecg/today/REC1.txt"), 48);
    EXPECT_EQ(testsupport::readFile("ecg/today/REC.txt"),
              testsupport::readFile("ecg/today/REC1.txt"));
    EXPECT_TRUE(std::filesystem::exists("shot.png"));
    EXPECT_FALSE(std::filesystem::exists("REC.txt"));
    EXPECT_FALSE(std::filesystem::exists("ecg/today/shot.png"));

    ASSERT_EQ(run("--records=ecg/today --print-pdf strips.pdf"), 0);
    EXPECT_TRUE(std::filesystem::exists("strips.pdf"));
    ASSERT_EQ(run("--records ecg/today --export-edf ecg/today/REC1.txt sent.edf"), 0);
    EXPECT_TRUE(std::filesystem::exists("sent.edf"));

    // The menu entry's --documents: "ECG recordings" in the documents folder.
    const std::string home = std::filesystem::current_path().string() + "/home";
    ASSERT_EQ(runShell("HOME=" + home + " XDG_CONFIG_HOME=" + home + "/.config " + program +
                       " --documents --simulate --record 1 --screenshot doc.png"),
              0);
    EXPECT_GT(lines("home/Documents/ECG recordings/REC1.txt"), 20);
    EXPECT_TRUE(std::filesystem::exists("doc.png"));
}

// What a folder holds: each entry's name, size, inode and modification
// time, and the folder's own modification time, which any file created and
// removed in it moves.
std::string listing(const std::string& folder) {
    const auto line = [](const std::string& path, const std::string& name) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return name + " " + std::to_string(info.st_size) + " " + std::to_string(info.st_ino) + " " +
               std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) +
               "\n";
    };
    std::vector<std::string> lines{line(folder, ".")};
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        lines.push_back(line(entry.path().string(), entry.path().filename().string()));
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& l : lines) {
        text += l;
    }
    return text;
}

// One program to a records folder: while one holds it (its lock taken here,
// as a running program holds it), a second one ends at once with status 1,
// names the folder, and changes nothing in it, not even to complete a
// change of a recording that the first may be making; nor does an export or
// a print without a window. Once the folder is free, the next program
// completes what was left.
TEST(ProgramRun, ASecondProgramLeavesAFolderInUseAlone) {
    testsupport::ScratchDirectory scratch;
    std::filesystem::create_directory("ecg");
    {
        std::ofstream record("ecg/REC.txt");
        for (int i = 0; i < 300; ++i) {
            record << (i % 2 == 0 ? 801.2 : -686.8) << " \n";
        }
    }
    std::ofstream("ecg/REC.commit") << "trelmont-ecg commit, version 1\nend\n";
    std::ofstream("ecg/REC.txt.part") << "57.2\n";
    {
        // The lock is a lock file's, made once with the mode the umask
        // gives, and left in place.
        const mode_t umask = ::umask(077);
        const std::unique_ptr<records::FolderLock> first = records::FolderLock::take("ecg");
        ::umask(umask);
        ASSERT_NE(first, nullptr);
        struct stat lockFile {};
        ASSERT_EQ(::lstat("ecg/.trelmont-ecg.lock", &lockFile), 0);
        EXPECT_EQ(lockFile.st_mode & 07777, 0600u);
        const std::string before = listing("ecg");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(run("--records ecg --simulate --record 2 2>err.txt"), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
        const std::string err = testsupport::readFile("err.txt");
        EXPECT_NE(err.find("Another trelmont-ecg is using the records folder " +
                           std::filesystem::current_path().string() + "/ecg."),
                  std::string::npos)
            << err;
        EXPECT_EQ(listing("ecg"), before);

        EXPECT_EQ(run("--export-edf ecg/REC.txt sent.edf"), 0);
        EXPECT_EQ(run("--records ecg --print-pdf strips.pdf"), 0);
        EXPECT_TRUE(std::filesystem::exists("strips.pdf"));
        EXPECT_EQ(listing("ecg"), before);
    }
    // Alone, the export completes its recording's change; only the window
    // removes what a change left in its folder.
    EXPECT_EQ(run("--export-edf ecg/REC.txt sent.edf"), 0);
    EXPECT_FALSE(std::filesystem::exists("ecg/REC.commit"));
    EXPECT_TRUE(std::filesystem::exists("ecg/REC.txt.part"));
    EXPECT_EQ(run("--records ecg --simulate --record 1"), 0);
    EXPECT_FALSE(std::filesystem::exists("ecg/REC.txt.part"));
}

// A records folder that cannot be written is said at start-up, naming the
// folder, and the program ends with status 1 before any recording.
TEST(ProgramRun, AFolderThatCannotBeWrittenEndsTheProgramAtOnce) {
    testsupport::ScratchDirectory scratch;
    std::ofstream("plain.txt") << "not a folder\n";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("--simulate --record 30 --records plain.txt/ecg 2>err.txt"), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    const std::string err = testsupport::readFile("err.txt");
    EXPECT_NE(
        err.find("[Records folder] The records folder " + std::filesystem::current_path().string() +
                 "/plain.txt/ecg cannot be "
                 "written"),
        std::string::npos)
        << err;
    EXPECT_EQ(testsupport::readFile("plain.txt"), "not a folder\n");

    // No folder named: the directory the program was started in, here one
    // where nobody, not even root, creates a file.
    EXPECT_EQ(runShell("cd /proc && " + program + " --simulate --record 30 2>\"$OLDPWD/err.txt\""),
              1);
    EXPECT_NE(testsupport::readFile("err.txt").find("The records folder /proc cannot be written"),
              std::string::npos)
        << testsupport::readFile("err.txt");
}

// No sound input at all: the box, then the window's notice band says what to
// try; an unattended run ends with status 1 and says why.
TEST(ProgramRun, WithoutASoundInputTheWindowSuggestsTheSimulator) {
    testsupport::ScratchDirectory scratch;
    // The only sound input is a card that is not there: PortAudio lists none.
    std::ofstream("asound.conf") << "pcm.!default { type hw card 99 }\n";
    EXPECT_EQ(run("--record 5 --screenshot shot.png 2>err.txt"), 1);
    const std::string err = testsupport::readFile("err.txt");
    EXPECT_NE(err.find("[Exception] No sound card installed !"), std::string::npos) << err;
    EXPECT_NE(err.find("the unattended recording could not start"), std::string::npos) << err;
    const QImage shot("shot.png");
    ASSERT_FALSE(shot.isNull());
    // The band's pale yellow across the top of the first strip.
    long long band = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            band += c.red() > 245 && c.green() > 235 && c.blue() > 160 && c.blue() < 200 ? 1 : 0;
        }
    }
    EXPECT_GT(band, 10000);
}

// A disk that refuses the very first value: the box says that no value was
// stored and where, and the unattended run fails.
TEST(ProgramRun, ADiskThatStoresNothingSaysSoAndFails) {
    testsupport::ScratchDirectory scratch;
    // A file size limit of zero; standard error goes through a pipe, which
    // the limit does not stop.
    EXPECT_EQ(runShell("(trap '' XFSZ; ulimit -f 0; " + program +
                       " --simulate --record 10; echo \"exit $?\") 2>&1 | cat >err.txt"),
              0);
    const std::string err = testsupport::readFile("err.txt");
    EXPECT_NE(err.find("The disk refused the recording"), std::string::npos) << err;
    EXPECT_NE(err.find("no value was stored in the records folder " +
                       std::filesystem::current_path().string() + "."),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("exit 1"), std::string::npos) << err;
}

}  // namespace
