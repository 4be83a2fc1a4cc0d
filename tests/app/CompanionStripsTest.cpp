#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "MainWindowRig.h"
#include "acquisition/HeartSignal.h"
#include "acquisition/Painter.h"
#include "records/Companion.h"
#include "records/RecordEncoding.h"
#include "records/RecordingFacts.h"
#include "render/PaperPrinter.h"
#include "render/TraceMapping.h"
#include "tests/support/BarColumns.h"
#include "tests/support/RealLookingHeart.h"
#include "tests/support/RecordText.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ToneFiles.h"

// The strips in the window show the ECG the EDF+ and the printout hold: each
// R wave as tall as the companion's, beat after beat, live and stored; and a
// companion that is not the recording's own is never drawn.

namespace app::test {
namespace {

namespace fs = std::filesystem;
namespace ids = resources::ids;
using Key = platform::MainDialog::Key;

// The paper's large squares: 20 pixels, 5 mm.
constexpr double pixelsPerMillimetre = 20.0 / 5.0;
// What stands out this far above the baseline is an R wave.
constexpr double rThresholdMillivolts = 0.5;

double median(std::vector<double> x) {
    if (x.empty()) {
        return 0.0;
    }
    std::nth_element(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(x.size() / 2), x.end());
    return x[x.size() / 2];
}

double variation(const std::vector<double>& x) {
    double mean = 0.0;
    for (const double v : x) {
        mean += v / static_cast<double>(x.size());
    }
    double square = 0.0;
    for (const double v : x) {
        square += (v - mean) * (v - mean) / static_cast<double>(x.size());
    }
    return mean > 0.0 ? std::sqrt(square) / mean : 0.0;
}

// The R waves of one pane as the screenshot shows them, and as its
// companion lines hold them, in millivolts.
struct Beats {
    std::vector<double> shown;
    std::vector<double> companion;
};

// The topmost pixel of the trace in each column of the pane's picture (-1
// where there is none); the marks along the foot are left out.
std::vector<int> traceTops(const render::EcgPane& pane) {
    const platform::PaneSurface& surface = pane.surface();
    const int lowest = surface.height() - render::EcgPane::markHeight - render::EcgPane::markRaise;
    std::vector<int> tops(static_cast<std::size_t>(surface.width()), -1);
    for (int x = 0; x < surface.width(); ++x) {
        for (int y = 0; y < lowest; ++y) {
            const platform::Rgb p = surface.pixel(x, y);
            if (p.r < 80 && p.g < 80 && p.b < 80) {
                tops[static_cast<std::size_t>(x)] = y;
                break;
            }
        }
    }
    return tops;
}

// Finds each R wave's top in the pane's picture and the companion's highest
// point around it. The pane shows lines from `firstLine` (live, its first
// buffer is not stored: the lines sit one step later on the pane).
Beats rWaves(const render::EcgPane& pane, const std::vector<double>& companion, long long firstLine,
             double valuesPerMillivolt) {
    Beats beats;
    const double speed = pane.speedFactor();
    const double pixelsPerMillivolt =
        render::TraceMapping::millimetresPerMillivolt(pane.gainFactor()) * pixelsPerMillimetre;
    const std::vector<int> tops = traceTops(pane);
    std::vector<double> rows;
    for (const int top : tops) {
        if (top >= 0) {
            rows.push_back(top);
        }
    }
    const double baselineRow = median(rows);
    const auto lines = static_cast<long long>(companion.size() / records::companionValuesPerLine);
    const auto shownLines = static_cast<long long>(static_cast<double>(tops.size()) / speed);
    const long long from = std::clamp(firstLine, 0LL, lines);
    std::vector<double> level(
        companion.begin() + from * 10,
        companion.begin() + std::clamp(firstLine + shownLines, from, lines) * 10);
    const double baselineValue = median(level);
    const auto edge = static_cast<std::size_t>(6.0 * speed);
    std::size_t x = edge;
    while (x + edge < tops.size()) {
        const auto high = [&](std::size_t c) {
            return tops[c] >= 0 &&
                   baselineRow - tops[c] > rThresholdMillivolts * pixelsPerMillivolt;
        };
        if (!high(x)) {
            ++x;
            continue;
        }
        std::size_t peak = x;
        for (; x + edge < tops.size() && (high(x) || high(x + 1) || high(x + 2)); ++x) {
            peak = high(x) && tops[x] < tops[peak] ? x : peak;
        }
        const long long line =
            firstLine + static_cast<long long>(static_cast<double>(peak) / speed);
        double highest = -1e300;
        for (long long k = std::max(line - 5, 0LL); k <= line + 5 && k < lines; ++k) {
            for (std::size_t t = 0; t < records::companionValuesPerLine; ++t) {
                highest = std::max(highest, companion[static_cast<std::size_t>(k) * 10 + t]);
            }
        }
        beats.shown.push_back((baselineRow - tops[peak]) / pixelsPerMillivolt);
        beats.companion.push_back((highest - baselineValue) / valuesPerMillivolt);
    }
    return beats;
}

class CompanionStripsTest : public MainWindowTest {
protected:
    static acquisition::SimulatorSettings fourTimes() {
        acquisition::SimulatorSettings settings;
        settings.heart.beatsPerMinute = 72.0;
        settings.speed = 4.0;
        return settings;
    }

    // Sets the R waves of panes `first` to `last` of the working recording
    // against its companion.
    void compareRWaves(int first, int last, long long lineShift) {
        const std::vector<double> companion = records::readCompanion("REC.hr.txt", 1u << 20);
        const records::FactsReading facts = records::readFacts("REC.txt");
        ASSERT_EQ(facts.status, records::FactsReading::Status::Read);
        const int n = controller().painter().samplesPerPane(0);
        Beats all;
        for (int j = first; j <= last; ++j) {
            const Beats beats =
                rWaves(controller().pane(j), companion, static_cast<long long>(j) * n + lineShift,
                       facts.facts.valuesPerMillivolt);
            all.shown.insert(all.shown.end(), beats.shown.begin(), beats.shown.end());
            all.companion.insert(all.companion.end(), beats.companion.begin(),
                                 beats.companion.end());
        }
        ASSERT_GE(all.shown.size(), 8u);
        const double pixel =
            1.0 /
            (render::TraceMapping::millimetresPerMillivolt(controller().pane(0).gainFactor()) *
             pixelsPerMillimetre);
        const double shown = median(all.shown);
        const double held = median(all.companion);
        std::printf(
            "%zu R waves: median %.3f mV shown, %.3f mV in the companion; spread %.3f "
            "and %.3f\n",
            all.shown.size(), shown, held, variation(all.shown), variation(all.companion));
        EXPECT_NEAR(shown, held, std::max(0.05 * held, pixel));
        EXPECT_NEAR(variation(all.shown), variation(all.companion), 0.02);
    }
};

// The simulator's heart at 72 a minute recorded in the window (watched while
// it records, then after FILTER and loaded from slot 1), and a real-looking
// heart with a 90-ms QRS decoded from a tone file and opened with Ctrl+O:
// the R waves the strips show stand as tall as the companion's, with the
// same spread from beat to beat.
TEST_F(CompanionStripsTest, StripsShowTheRWavesOfTheCompanion) {
    open(fourTimes());
    const acquisition::HeartSignal heart(testsupport::realLookingHeart());
    testsupport::writeWav("heart.wav", 48000, 1, testsupport::simulatorTone(heart, 48000, 30.0));
    struct Case {
        const char* name;
        std::function<void()> bring;
        int lastPane;
        long long lineShift;
    };
    const Case cases[] = {
        {"live",
         [&] {
             startRecording();
             ASSERT_TRUE(pumpUntil([&] { return controller().painter().currentPane() >= 1; }));
         },
         0, -1},
        {"after FILTER",
         [&] {
             ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
             command(ids::filter);
         },
         1, 0},
        {"slot 1 loaded", [&] { command(ids::firstSlot); }, 1, 0},
        {"tone recording opened",
         [&] {
             modal().openAnswer = (scratch_.path() / "heart.wav").string();
             dialog().pressKey(Key::CtrlO);
             ASSERT_TRUE(pumpUntil([&] { return !controller().decoding(); }, 120s));
         },
         1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.bring();
        compareRWaves(0, c.lastPane, c.lineShift);
        EXPECT_TRUE(modal().boxes.empty());
    }
}

// Pane `j` of the working recording as the strips drew its values before
// they knew of companions: fresh paper and one step a value.
bool drawnAsValues(render::EcgPane& pane, int j, int n) {
    std::vector<double> values = testsupport::readRecordValues("REC.txt");
    records::decodeRecord(values);
    const platform::PaneSurface& shown = pane.surface();
    render::EcgPane reference(j, shown.width(), shown.height(), pane.windowRect);
    reference.setFactors(pane.speedFactor(), pane.gainFactor());
    reference.clear();
    reference.drawPaper();
    const auto first = static_cast<std::size_t>(j) * static_cast<std::size_t>(n);
    if (first >= values.size()) {
        return false;
    }
    reference.drawStretch(std::span<const double>(values).subspan(first),
                          static_cast<int>(std::min<std::size_t>(n, values.size() - first)),
                          nullptr);
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            if (!(shown.pixel(x, y) == reference.surface().pixel(x, y))) {
                return false;
            }
        }
    }
    return true;
}

// A companion beside the working recording that is not its own, whether its
// facts name another or it has none and a recording of the same length lies
// beside it, is never drawn: the strips draw the values as they always
// have. The recording's own companion, its facts gone, still agrees and is
// drawn.
TEST_F(CompanionStripsTest, AForeignCompanionIsNeverDrawn) {
    open(unpaced());
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
    const std::vector<double> stranger = records::readCompanion("REC.hr.txt", 1u << 20);
    // Another heart: the simulator starts each recording alike.
    acquisition::SimulatorSettings other = unpaced();
    other.heart.beatsPerMinute = 90.0;
    device_->simulator.setSettings(other);
    startRecording();
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
    const std::vector<double> own = records::readCompanion("REC.hr.txt", 1u << 20);
    ASSERT_GT(own.size(), 10000u);
    // The stranger's lines, as many as the recording has.
    std::vector<double> lookAlike = stranger;
    lookAlike.resize(own.size(), stranger.back());
    struct Case {
        const char* name;
        const std::vector<double>& companion;
        bool withFacts;
        bool drawn;
    };
    const Case cases[] = {
        {"another recording's, beside facts naming its own", stranger, true, false},
        {"another recording's as long, no facts", lookAlike, false, false},
        {"its own, no facts", own, false, true},
    };
    const int n = controller().painter().samplesPerPane(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testsupport::writeCompanion("REC.txt", c.companion));
        if (!c.withFacts) {
            fs::remove("REC.info.txt");
        }
        // Down a strip and back: the strips are drawn anew from the files.
        barScroll(platform::scroll::lineDown);
        barScroll(platform::scroll::lineUp);
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(drawnAsValues(controller().pane(j), j, n), !c.drawn) << "strip " << j;
        }
    }
    EXPECT_TRUE(modal().boxes.empty());
}

// The columns of the pane whose bar row shows `colour`, as runs [from, to).
std::vector<std::pair<int, int>> barRuns(const render::EcgPane& pane, platform::Rgb colour) {
    const platform::PaneSurface& surface = pane.surface();
    const int row = surface.height() - render::EcgPane::markRaise - 1;
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < surface.width(); ++x) {
        // A trace crossing the bar hides it in its column; the paper's
        // lines do not.
        if (!(surface.pixel(x, row) == colour) && !(surface.pixel(x, row - 1) == colour)) {
            continue;
        }
        if (!runs.empty() && runs.back().second == x) {
            runs.back().second = x + 1;
        } else {
            runs.push_back({x, x + 1});
        }
    }
    return runs;
}

// The tone switched off for about two seconds of a live recording: a grey
// bar under that stretch of the strip as it is drawn, with no more than the
// buffers of the switch doubtful. The recording's facts saying where its
// tone was missing or doubtful bring the bars to the strips drawn anew,
// at their lines' columns, and the trace stays as it was drawn.
TEST_F(CompanionStripsTest, BarsUnderTheStripsMarkTheTonesTrouble) {
    open(fourTimes());
    const platform::Rgb grey = render::PaperPrinter::withoutToneColour;
    const platform::Rgb ochre = render::PaperPrinter::doubtfulToneColour;
    startRecording();
    acquisition::Painter& painter = controller().painter();
    ASSERT_TRUE(pumpUntil([&] { return painter.processedBuffers() >= 100; }));
    device_->simulator.setToneGain(0.0);
    ASSERT_TRUE(pumpUntil([&] { return painter.processedBuffers() >= 200; }));
    device_->simulator.setToneGain(1.0);
    ASSERT_TRUE(pumpUntil([&] { return painter.currentPane() >= 1; }));
    const auto runs = barRuns(controller().pane(0), grey);
    ASSERT_EQ(runs.size(), 1u);
    const double speed = controller().pane(0).speedFactor();
    EXPECT_NEAR((runs[0].second - runs[0].first) / speed, 100.0, 12.0);
    EXPECT_NEAR(runs[0].first / speed, 100.0, 12.0);
    for (const auto& [from, to] : barRuns(controller().pane(0), ochre)) {
        EXPECT_LE(to - from, 4.0 * speed) << from;
    }
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));

    records::FactsReading facts = records::readFacts("REC.txt");
    ASSERT_EQ(facts.status, records::FactsReading::Status::Read);
    const int n = painter.samplesPerPane(0);
    facts.facts.linesWithoutTone = {{10, 50}, {n - 20, 40}};
    facts.facts.linesWithDoubtfulTone = {{300, 30}};
    {
        std::ofstream out("REC.info.txt", std::ios::binary | std::ios::trunc);
        out << records::formatFacts(facts.facts);
    }
    barScroll(platform::scroll::lineDown);
    barScroll(platform::scroll::lineUp);
    const auto columns = [&](long long from, long long to) {
        return std::pair<int, int>{static_cast<int>(from * speed), static_cast<int>(to * speed)};
    };
    const auto near = [](const std::vector<std::pair<int, int>>& got,
                         const std::vector<std::pair<int, int>>& want) {
        bool same = got.size() == want.size();
        for (std::size_t i = 0; same && i < got.size(); ++i) {
            same = std::abs(got[i].first - want[i].first) <= 1 &&
                   std::abs(got[i].second - want[i].second) <= 1;
        }
        return same;
    };
    EXPECT_TRUE(near(barRuns(controller().pane(0), grey), {columns(10, 60), columns(n - 20, n)}));
    EXPECT_TRUE(near(barRuns(controller().pane(0), ochre), {columns(300, 330)}));
    // The stretch that runs on into the second strip is marked there too.
    EXPECT_TRUE(near(barRuns(controller().pane(1), grey), {columns(0, 20)}));
    EXPECT_TRUE(barRuns(controller().pane(2), grey).empty());
    // The bars lie under the trace: the R waves stand as the companion's
    // (on the second strip, away from the tone's return, which the
    // companion holds as a spike far beyond the strip).
    compareRWaves(1, 1, 0);
}

using testsupport::barColumns;

// The kind of bar under columns [from, to): '?' where the trace hides it
// all, 'x' where it is not one kind.
char barOver(const std::string& columns, int from, int to) {
    char kind = '?';
    for (int x = std::max(from, 0); x < to && x < static_cast<int>(columns.size()); ++x) {
        const char c = columns[static_cast<std::size_t>(x)];
        if (c != '#') {
            kind = kind == '?' || kind == c ? c : 'x';
        }
    }
    return kind;
}

// The tone lost three ways while recording: for over a second twice with
// half a second of tone between, for a third of a second twice with a fifth
// of a second between, and for a second and a half across the change from
// the first strip to the second. Once the recording stops, the live strips'
// bars are those the same recording shows loaded from its slot, column for
// column where its lines were drawn live; the second strip's first step,
// which stored no line, has none.
TEST_F(CompanionStripsTest, LiveBarsAreTheBarsOfTheStoredRecording) {
    open(fourTimes());
    acquisition::Painter& painter = controller().painter();
    const int n = painter.samplesPerPane(0);
    startRecording();
    // From buffer to buffer, the tone's gain; off at first, on at second.
    const std::pair<long long, long long> silences[] = {
        {40, 98}, {122, 180}, {300, 315}, {325, 340}, {n - 35, n + 38}};
    for (const auto& [from, to] : silences) {
        ASSERT_TRUE(pumpUntil([&] { return painter.processedBuffers() >= from; }));
        device_->simulator.setToneGain(0.0);
        ASSERT_TRUE(pumpUntil([&] { return painter.processedBuffers() >= to; }));
        device_->simulator.setToneGain(1.0);
    }
    ASSERT_TRUE(pumpUntil([&] { return painter.currentPane() >= 2; }));
    dialog().click(ids::startStop);
    ASSERT_TRUE(pumpUntil([&] { return controller().idle; }));
    const std::string live[] = {barColumns(controller().pane(0)), barColumns(controller().pane(1))};

    const records::FactsReading facts = records::readFacts("REC.txt");
    ASSERT_EQ(facts.status, records::FactsReading::Status::Read);
    ASSERT_FALSE(facts.facts.linesWithoutTone.empty());
    ASSERT_FALSE(facts.facts.linesWithDoubtfulTone.empty());
    // Each live strip after the first begins after two buffers that store no
    // line: the one that found the last strip full and its own first. The
    // buffers the sound input lost are skipped too, and said so.
    std::vector<long long> skipped = facts.facts.skippedAfterLines;
    for (const long long lost : facts.facts.droppedAfterLines) {
        const auto at = std::find(skipped.begin(), skipped.end(), lost);
        ASSERT_NE(at, skipped.end());
        skipped.erase(at);
    }
    ASSERT_GE(skipped.size(), 5u);
    const long long begins[] = {0, skipped[1], skipped[3]};

    command(ids::firstSlot);
    std::vector<std::string> stored;
    for (int j = 0; j < 3; ++j) {
        stored.push_back(barColumns(controller().pane(j)));
    }
    const double speed = controller().pane(0).speedFactor();
    std::size_t compared = 0;
    for (int p = 0; p < 2; ++p) {
        SCOPED_TRACE("live strip " + std::to_string(p));
        // The strip's columns as the bars of the stored lines drawn there
        // would make them, stepped as the live trace steps.
        std::string expected(live[p].size(), '.');
        double x = speed;
        for (long long line = begins[p]; line < begins[p + 1]; ++line, x += speed) {
            const long long onStored = line % n;
            const char kind = barOver(stored[static_cast<std::size_t>(line / n)],
                                      static_cast<int>(static_cast<double>(onStored) * speed),
                                      static_cast<int>(static_cast<double>(onStored + 1) * speed));
            for (int c = static_cast<int>(x); c < static_cast<int>(x + speed); ++c) {
                if (c < static_cast<int>(expected.size())) {
                    expected[static_cast<std::size_t>(c)] = kind;
                }
            }
        }
        for (std::size_t c = 0; c < expected.size(); ++c) {
            if (live[p][c] == '#' || expected[c] == '?') {
                continue;
            }
            ++compared;
            ASSERT_EQ(live[p][c], expected[c]) << "column " << c << "\n"
                                               << live[p] << "\n"
                                               << expected;
        }
    }
    EXPECT_GT(compared, 1800u);
    EXPECT_TRUE(modal().boxes.empty());
}

}  // namespace
}  // namespace app::test
