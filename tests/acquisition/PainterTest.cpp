#include "acquisition/Painter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <numeric>
#include <thread>

#include "acquisition/FrontEndSimulator.h"
#include "platform/PaneSurface.h"
#include "records/RecordCopy.h"
#include "records/RecordFormat.h"
#include "records/RecordingFacts.h"
#include "records/SampleFile.h"
#include "render/EcgPane.h"
#include "render/PaperPrinter.h"
#include "render/TraceOffset.h"
#include "tests/support/BarColumns.h"
#include "tests/support/CaptureRig.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"

namespace acquisition {
namespace {

using namespace std::chrono_literals;

using namespace testsupport;

std::vector<double> storedValues(const std::string& text) {
    std::vector<double> values;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        values.push_back(records::parseValue(text.substr(start, end - start)));
        start = end + 1;
    }
    return values;
}

// Which processed buffers (1-based) of an uninterrupted recording store a
// value: in each pane of the first pass all but the first; none at a pane move;
// all in the two panes of the second pass, and the one after.
std::vector<long long> storingBuffers(int steps) {
    std::vector<long long> stored;
    long long buffer = 0;
    for (int pane = 0; pane < 5; ++pane) {
        ++buffer;  // the pane's first buffer only sets its starting height
        for (int i = 1; i < steps; ++i) {
            stored.push_back(++buffer);
        }
        if (pane < 4) {
            ++buffer;  // the move to the next pane
        }
    }
    for (int pane = 0; pane < 2; ++pane) {
        for (int i = 0; i < steps; ++i) {
            stored.push_back(++buffer);
        }
        ++buffer;
    }
    // The buffer processed while the move was waiting to be stored: the stop
    // stores it in the third pane.
    stored.push_back(++buffer);
    return stored;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const double n = static_cast<double>(a.size());
    const double ma = std::accumulate(a.begin(), a.end(), 0.0) / n;
    const double mb = std::accumulate(b.begin(), b.end(), 0.0) / n;
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

TEST(Painter, UnstoppedRecordingStopsItselfAfterSevenPanesAndStoresEveryValue) {
    testsupport::ScratchDirectory scratch;
    render::traceOffset = render::initialTraceOffset;
    WindowHarness window;
    Rig rig(&window);
    window.attach(*rig.painter);

    ASSERT_TRUE(rig.painter->startCapture());
    ASSERT_TRUE(window.waitForStops(1, 120s)) << "the recording never asked to be stopped";
    EXPECT_FALSE(rig.painter->isRecording());
    EXPECT_EQ(window.posted(), 1);

    // Each value is stored when the next buffer is in (its companion line
    // needs it), so the worker sees the seventh pane full one buffer later,
    // and the stop stores that buffer's value too.
    const long long processed = rig.painter->processedBuffers();
    EXPECT_EQ(processed, 7 * paneSteps + 7);
    const std::string text = testsupport::readFile("REC.txt");
    const std::vector<double> values = storedValues(text);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(7 * paneSteps - 4));
    // Every line has the capture's own form, and the slot holds the same lines.
    std::size_t pos = 0;
    char line[records::valueTextSize];
    for (double v : values) {
        const std::size_t n = records::formatValue(v, records::LineEnd::BlankNewline, line);
        ASSERT_EQ(text.compare(pos, n, line, n), 0) << "at offset " << pos;
        pos += n;
    }
    EXPECT_EQ(testsupport::readFile("REC1.txt"), text);

    // The marker alternates by processed buffer, +744 first; decoded, the
    // values follow the simulator's heart signal at the buffer centres.
    const std::vector<long long> buffers = storingBuffers(paneSteps);
    const HeartSignal heart = rig.simulator.heartSignal();
    const double bufferSeconds = static_cast<double>(defaultBuffer) / defaultRate;
    std::vector<double> recovered;
    std::vector<double> truth;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int sign = buffers[i] % 2 == 1 ? 1 : -1;
        ASSERT_EQ(values[i] > 0 ? 1 : -1, sign) << "line " << i;
        const double value = values[i] - sign * 744.0;
        recovered.push_back((value - 57.2) / 5.48);
        truth.push_back(heart.millivolts((static_cast<double>(buffers[i]) - 0.5) * bufferSeconds));
    }
    double squares = 0;
    for (std::size_t i = 0; i < truth.size(); ++i) {
        squares += (recovered[i] - truth[i]) * (recovered[i] - truth[i]);
    }
    const double rms = std::sqrt(squares / static_cast<double>(truth.size()));
    const double r = correlation(recovered, truth);
    std::cout << "stored " << values.size() << " values of " << processed
              << " buffers; correlation " << r << ", RMS error " << rms << " mV\n";
    EXPECT_GE(r, 0.99);
    EXPECT_LE(rms, 0.05);

    // The sign carries over: the next recording's first stored value is the
    // second buffer after 7P + 7, which is even, so it is -744.
    ASSERT_TRUE(rig.painter->startCapture());
    ASSERT_TRUE(rig.waitForBuffers(processed + 10, 30s));
    rig.painter->stopCapture();
    const std::vector<double> next = storedValues(testsupport::readFile("REC.txt"));
    ASSERT_GE(next.size(), 8u);
    EXPECT_LT(next[0], 0.0);
    EXPECT_GT(next[1], 0.0);
    // The new recording emptied the working file first.
    EXPECT_LT(next.size(), 100u);
}

TEST(Painter, ClosingWhileTheAutomaticStopIsPendingNeitherHangsNorCrashes) {
    testsupport::ScratchDirectory scratch;
    WindowHarness deaf(/*handleCommands=*/false);
    auto rig = std::make_unique<Rig>(&deaf);
    ASSERT_TRUE(rig->painter->startCapture());
    // Wait until the worker has asked for its stop and nobody answers.
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (deaf.posted() == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(deaf.posted(), 1);
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(rig->painter->stopThread());
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    rig.reset();
}

// The facts a recording starts with are written as every file is, beside
// it and renamed over it: a link in their place is replaced, not followed
// to the file it names, and a pipe there neither holds the capture up nor
// takes them.
TEST(Painter, TheFactsReplaceALinkOrAPipeInTheirPlace) {
    for (const bool link : {true, false}) {
        SCOPED_TRACE(link ? "a link" : "a pipe");
        testsupport::ScratchDirectory scratch;
        ASSERT_TRUE(testsupport::writeBytes("notes.txt", "the user's own notes\n"));
        ASSERT_EQ(link ? ::symlink("notes.txt", "REC.info.txt") : ::mkfifo("REC.info.txt", 0600),
                  0);
        WindowHarness window;
        Rig rig(&window);
        window.attach(*rig.painter);
        ASSERT_TRUE(rig.painter->startCapture());
        EXPECT_TRUE(rig.waitForBuffers(20, 20s));
        rig.painter->stopCapture();
        EXPECT_EQ(testsupport::readFile("notes.txt"), "the user's own notes\n");
        struct stat info {};
        ASSERT_EQ(::lstat("REC.info.txt", &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        EXPECT_EQ(records::readFacts("REC.txt").status, records::FactsReading::Status::Read);
    }
}

TEST(Painter, PaneMovesAndWrapFollowThePaneWidth) {
    testsupport::ScratchDirectory scratch;
    WindowHarness window;
    Rig rig(&window);
    window.attach(*rig.painter);
    ASSERT_TRUE(rig.painter->startCapture());
    // Pane 0 takes P buffers, the next buffer moves the trace to pane 1.
    ASSERT_TRUE(rig.waitForBuffers(paneSteps + 1 + 5, 60s));
    rig.painter->stopCapture();
    EXPECT_EQ(rig.painter->currentPane(), 0);
    EXPECT_EQ(rig.painter->filledPanes(), 0);
    for (const auto& pane : rig.owned) {
        EXPECT_DOUBLE_EQ(pane->penX(), 0.0);
        EXPECT_FALSE(pane->started());
    }
    EXPECT_FALSE(records::SampleFile::isOpen());
    // Pane 0 was drawn on: it holds trace pixels.
    const auto& surface = rig.owned[0]->surface();
    int ink = 0;
    for (int x = 0; x < 958; x += 3) {
        for (int y = 0; y < 124; ++y) {
            ink += surface.pixel(x, y) == platform::black ? 1 : 0;
        }
    }
    EXPECT_GT(ink, 300);
}

using testsupport::barColumns;

// The tone gone for a second and a half across the wrap from the fifth
// pane to the first: the bar runs to the end of the fifth pane and on from
// the first one's left edge, line for line where the facts list it, the
// places of the lines held across the wrap.
TEST(Painter, TheBarsOfAStretchRunOnAcrossTheWrap) {
    testsupport::ScratchDirectory scratch;
    WindowHarness window;
    Rig rig(&window, Rig::pacedAt(8.0));
    window.attach(*rig.painter);
    ASSERT_TRUE(rig.painter->startCapture());
    // The wrap comes after five panes of P - 1 lines, 5P - 1 buffers.
    constexpr long long wrap = 5 * paneSteps - 1;
    ASSERT_TRUE(rig.waitForBuffers(wrap - 40, 120s));
    rig.simulator.setToneGain(0.0);
    ASSERT_TRUE(rig.waitForBuffers(wrap + 30, 60s));
    rig.simulator.setToneGain(1.0);
    ASSERT_TRUE(window.waitForStops(1, 120s));

    const records::FactsReading facts = records::readFacts("REC.txt");
    ASSERT_EQ(facts.status, records::FactsReading::Status::Read);
    ASSERT_EQ(facts.facts.linesWithoutTone.size(), 1u);
    constexpr long long lines = 5 * (paneSteps - 1);
    const auto [first, count] = facts.facts.linesWithoutTone[0];
    ASSERT_LT(first, lines - 10);
    ASSERT_GT(first + count, lines + 10);
    // The fifth pane's lines after its first step; the first pane's again
    // from its left edge, its trace under way.
    const double speed = rig.owned[0]->speedFactor();
    const auto expect = [&](int pane, long long from, double x) {
        std::string expected(958, '.');
        for (long long line = from; x < 958.0; ++line, x += speed) {
            const auto listed = [&](const auto& list) {
                return std::any_of(list.begin(), list.end(), [&](const auto& s) {
                    return line >= s.first && line < s.first + s.second;
                });
            };
            const char kind = listed(facts.facts.linesWithoutTone)        ? 'w'
                              : listed(facts.facts.linesWithDoubtfulTone) ? 'd'
                                                                          : '.';
            for (auto c = static_cast<std::size_t>(x); c < static_cast<std::size_t>(x + speed);
                 ++c) {
                expected[std::min<std::size_t>(c, 957)] = kind;
            }
        }
        std::string shown = barColumns(*rig.owned[static_cast<std::size_t>(pane)]);
        for (std::size_t c = 0; c < shown.size(); ++c) {
            shown[c] = shown[c] == '#' ? expected[c] : shown[c];
        }
        EXPECT_EQ(shown, expected) << "pane " << pane;
    };
    expect(4, lines - (paneSteps - 1), speed);
    expect(0, lines, 0.0);
}

TEST(Painter, ConfigureKeepsGoingRebuildsOrRefuses) {
    testsupport::ScratchDirectory scratch;
    {
        WindowHarness window;
        Rig rig(&window, Rig::pacedAt(20.0));
        window.attach(*rig.painter);
        ASSERT_TRUE(rig.painter->startCapture());
        ASSERT_TRUE(rig.waitForBuffers(5, 30s));

        // Same acquisition values: new factors reach the panes, no gap.
        EXPECT_TRUE(rig.painter->configure(4096, defaultRate, 4096, 16, 4.16, 14.8));
        EXPECT_TRUE(rig.painter->isRecording());
        EXPECT_DOUBLE_EQ(rig.owned[3]->speedFactor(), 4.16);
        EXPECT_DOUBLE_EQ(rig.owned[19]->gainFactor(), 14.8);
        long long seen = rig.painter->processedBuffers();
        ASSERT_TRUE(rig.waitForBuffers(seen + 5, 30s));

        // 8 bits while recording: rebuilt and restarted.
        EXPECT_TRUE(rig.painter->configure(2048, defaultRate, 2048, 8, 2.08, 3.7));
        EXPECT_TRUE(rig.painter->isRecording());
        EXPECT_EQ(rig.painter->bitsPerSample(), 8);
        EXPECT_EQ(rig.painter->fftPoints(), 2048);
        EXPECT_EQ(rig.painter->binForFrequency(1000), 10);
        seen = rig.painter->processedBuffers();
        ASSERT_TRUE(rig.waitForBuffers(seen + 5, 30s));

        // A format the device refuses: the recorder's words, and failure.
        rig.simulator.refuseFormats(true);
        const CaptureOutcome refused =
            rig.painter->configure(4096, defaultRate, 4096, 16, 2.08, 3.7);
        EXPECT_EQ(refused.status, CaptureOutcome::Status::Refused);
        EXPECT_EQ(refused.reason, "Format not supported");
        EXPECT_FALSE(rig.painter->isRecording());
    }
}

TEST(Painter, ConfigureReportsAnUnusableSizeAsAnException) {
    testsupport::ScratchDirectory scratch;
    Rig rig(nullptr);
    const CaptureOutcome rebuilt = rig.painter->configure(4096, defaultRate, 3000, 16, 2.08, 3.7);
    EXPECT_EQ(rebuilt.status, CaptureOutcome::Status::Failed);
    EXPECT_EQ(rebuilt.reason, "Unknown");
    EXPECT_EQ(rig.painter->fftPoints(), 0);
    EXPECT_EQ(rig.painter->binForFrequency(1000), 0);
    // Capture cannot start without its objects, and nothing crashes.
    const CaptureOutcome started = rig.painter->startCapture();
    EXPECT_EQ(started.status, CaptureOutcome::Status::Failed);
    EXPECT_EQ(started.reason, "");
}

TEST(Painter, DrawGridPapersFivePanesFromTheFirstAndClearsAll) {
    Rig rig(nullptr);
    for (const auto& pane : rig.owned) {
        pane->surface().fill({0, 0, 958, 124}, platform::black);
        pane->setPenX(100.0);
    }
    rig.painter->drawGrid(15);
    const platform::Rgb pink{255, 150, 150};
    for (int i = 0; i < Painter::paneCount; ++i) {
        const auto& s = rig.owned[static_cast<std::size_t>(i)]->surface();
        EXPECT_EQ(s.pixel(20, 50) == pink, i >= 15) << "pane " << i;
        EXPECT_EQ(s.pixel(21, 51), platform::white) << "pane " << i;
        EXPECT_DOUBLE_EQ(rig.owned[static_cast<std::size_t>(i)]->penX(), 0.0);
    }
    rig.painter->drawGrid(18);
    EXPECT_EQ(rig.owned[17]->surface().pixel(20, 50), platform::white);
    EXPECT_EQ(rig.owned[18]->surface().pixel(20, 50), pink);
    EXPECT_EQ(rig.owned[19]->surface().pixel(20, 50), pink);
}

}  // namespace
}  // namespace acquisition
