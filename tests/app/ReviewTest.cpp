#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>

#include "MainWindowRig.h"
#include "acquisition/Painter.h"
#include "records/BaselineFilter.h"
#include "records/RecordFormat.h"
#include "render/EcgPane.h"
#include "render/TraceOffset.h"
#include "tests/support/RecordText.h"
#include "tests/support/SimulatedEcg.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
using Mouse = platform::MainDialog::Mouse;

constexpr double baseline = 57.2;

std::string lines(const std::vector<double>& values, records::LineEnd end) {
    std::string text;
    char buffer[records::valueTextSize];
    for (const double v : values) {
        text.append(buffer, records::formatValue(v, end, buffer));
    }
    return text;
}

void writeRecord(const std::string& name, const std::vector<double>& values) {
    std::ofstream(name, std::ios::binary) << lines(values, records::LineEnd::BlankNewline);
}

// An ECG-like trace around the baseline: a spike every 40 samples.
double beat(int i) {
    const int phase = i % 40;
    return baseline + (phase == 10 ? 25.0 : phase == 11 ? -8.0 : 2.0 * std::sin(phase * 0.15));
}

// As a live capture stores it: +744 and -744 on alternate values.
std::vector<double> captured(const std::vector<double>& plain) {
    std::vector<double> stored(plain);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        stored[i] += i % 2 == 0 ? 744.0 : -744.0;
    }
    return stored;
}

int darkPixels(const platform::PaneSurface& surface, int fromX, int toX) {
    int dark = 0;
    for (int x = std::max(fromX, 0); x < std::min(toX, surface.width()); ++x) {
        for (int y = 0; y < surface.height(); ++y) {
            const platform::Rgb p = surface.pixel(x, y);
            dark += p.r < 100 && p.g < 100 && p.b < 100 ? 1 : 0;
        }
    }
    return dark;
}

class ReviewTest : public MainWindowTest {
protected:
    render::EcgPane& pane(int i) { return controller().pane(i); }
    int left() { return pane(0).homeRect.left; }
    int middle(int slot) { return (pane(slot).homeRect.top + pane(slot).homeRect.bottom) / 2; }
    // The band a pane shows, in main-window x.
    std::pair<int, int> band(int i) {
        const int origin = pane(i).homeRect.left + 1;
        return {pane(i).surface().bandLeft() + origin, pane(i).surface().bandRight() + origin};
    }
    bool hasBand(int i) { return pane(i).surface().bandRight() > pane(i).surface().bandLeft(); }
    void drag(int fromSlot, int fromX, int toSlot, int toX) {
        dialog().mouse(Mouse::Press, fromX, middle(fromSlot));
        dialog().mouse(Mouse::Move, fromX, middle(fromSlot));
        dialog().mouse(Mouse::Move, toX, middle(toSlot));
        dialog().mouse(Mouse::Release, toX, middle(toSlot));
    }
    void chooseSave() {
        modal().menuChoice = 1;
        platform::DialogMessage menu;
        menu.kind = platform::DialogMessage::Kind::ContextMenu;
        dialog().send(menu);
    }
};

TEST_F(ReviewTest, TheRecordDisplayTakesEitherEncodingOff) {
    writeRecord("REC.txt", {801.3, -686.7, 372.0, -372.0});
    open();
    command(2000, 0, 0);
    const auto& samples = pane(0).record().samples;
    EXPECT_NEAR(samples[0], 57.3, 1e-9);
    EXPECT_NEAR(samples[1], 57.3, 1e-9);
    EXPECT_DOUBLE_EQ(samples[2], 372.0);
    EXPECT_DOUBLE_EQ(samples[3], -372.0);

    // The same ECG stored as FILTER stores it shows the same.
    writeRecord("REC.txt", {1057.3, -942.7});
    command(2000, 0, 0);
    EXPECT_NEAR(samples[0], 57.3, 1e-9);
    EXPECT_NEAR(samples[1], 57.3, 1e-9);
}

// 958-pixel panes at 2.08 pixels a sample hold 460 samples: 1000 samples
// fill panes 0 and 1 and part of 2.
TEST_F(ReviewTest, AThousandSamplesFillThreeOfOurPanes) {
    std::vector<double> plain(1000);
    for (int i = 0; i < 1000; ++i) {
        plain[static_cast<std::size_t>(i)] = beat(i);
    }
    writeRecord("REC.txt", captured(plain));
    open();
    EXPECT_EQ(controller().painter().samplesPerPane(0), 460);
    command(2000, 0, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_GT(darkPixels(pane(i).surface(), 0, 100), 50) << "pane " << i;
    }
    EXPECT_GT(darkPixels(pane(2).surface(), 100, 160), 10);
    EXPECT_EQ(darkPixels(pane(2).surface(), 180, 958), 0);
    EXPECT_EQ(darkPixels(pane(3).surface(), 0, 958), 0);
    EXPECT_EQ(darkPixels(pane(4).surface(), 0, 958), 0);
    EXPECT_EQ(pane(4).surface().pixel(20, 50), render::EcgPane::gridColour);

    // From pane 3 nothing is left to draw, and every pen is back at the start.
    pane(5).setPenX(100.0);
    command(2000, 0, 3);
    EXPECT_EQ(darkPixels(pane(3).surface(), 0, 958), 0);
    for (int i = 3; i < 20; ++i) {
        EXPECT_EQ(pane(i).penX(), 0.0) << i;
    }
}

// The example's 960-pixel panes hold 461 samples.
TEST(RecordDisplay, OnNineHundredSixtyPixelPanesPaneTwoRunsToTheEnd) {
    application();
    testsupport::ScratchDirectory scratch;
    std::vector<double> plain(1000);
    for (int i = 0; i < 1000; ++i) {
        plain[static_cast<std::size_t>(i)] = beat(i);
    }
    writeRecord("REC.txt", captured(plain));
    acquisition::FrontEndSimulator simulator{acquisition::SimulatorSettings{}};
    std::vector<std::unique_ptr<render::EcgPane>> panes;
    acquisition::Painter::PaneList list{};
    for (int i = 0; i < 20; ++i) {
        panes.push_back(std::make_unique<render::EcgPane>(i, 960, 124, platform::Rect{}));
        list[static_cast<std::size_t>(i)] = panes.back().get();
    }
    acquisition::Painter painter(simulator, nullptr, list, 4096, 199680, 4096);
    EXPECT_EQ(painter.samplesPerPane(0), 461);
    painter.showRecording(0);
    // Pane 2 shows samples 922 to 999, about 160 pixels, and nothing after
    // the recording's end.
    EXPECT_GT(darkPixels(panes[2]->surface(), 100, 158), 10);
    EXPECT_EQ(darkPixels(panes[2]->surface(), 170, 960), 0);
    EXPECT_EQ(darkPixels(panes[3]->surface(), 0, 960), 0);
    EXPECT_EQ(panes[0]->record().count, 1000);
}

TEST_F(ReviewTest, FilterKeepsEverySampleOfASevenPaneRecordingAndRemovesTheWander) {
    const int count = 7 * 460;
    std::vector<double> plain(count);
    for (int i = 0; i < count; ++i) {
        const double wander = 15.0 * std::sin(2.0 * std::numbers::pi * i / 900.0);
        plain[static_cast<std::size_t>(i)] = beat(i) + wander;
    }
    writeRecord("REC.txt", captured(plain));
    open();
    command(ids::filter);
    const std::vector<double> stored = testsupport::readRecordValues("REC.txt");
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(count));
    const auto& filtered = pane(0).record().filtered;
    for (int i = 0; i < count; ++i) {
        const double marker = i % 2 == 0 ? 1000.0 : -1000.0;
        ASSERT_NEAR(stored[static_cast<std::size_t>(i)] - marker,
                    filtered[static_cast<std::size_t>(i)], 1e-6)
            << i;
    }
    // The wander is gone: every stretch of 100 samples lies around the
    // baseline, where the input swung by 15 either way.
    for (int start = 100; start + 100 < count; start += 100) {
        double mean = 0.0;
        for (int i = start; i < start + 100; ++i) {
            mean += filtered[static_cast<std::size_t>(i)] / 100.0;
        }
        EXPECT_NEAR(mean, baseline + 1.0, 4.0) << start;
    }
    // The filtered recording shows as the filtered ECG, not its encoding.
    EXPECT_GT(darkPixels(pane(0).surface(), 0, 958), 400);
    command(2000, 0, 0);
    for (int i = 0; i < count; i += 97) {
        EXPECT_NEAR(pane(0).record().samples[static_cast<std::size_t>(i)],
                    filtered[static_cast<std::size_t>(i)], 1e-5);
    }
    // A second FILTER reads the encoding it wrote and keeps every sample.
    command(ids::filter);
    EXPECT_EQ(testsupport::readRecordValues("REC.txt").size(), static_cast<std::size_t>(count));
}

// What FILTER stores is the baseline filter's result, every sample of it, with
// +1000 on even and -1000 on odd lines, whatever encoding the record had.
TEST_F(ReviewTest, FilterStoresTheBaselineFiltersResultsExactly) {
    std::vector<double> input(700);
    for (std::size_t i = 0; i < input.size(); ++i) {
        const double wander = 4.0 * std::sin(static_cast<double>(i) / 40.0);
        const double beat = i % 40 == 20 ? 8.0 : 0.0;
        input[i] = (i < 350 ? 60.0 : 75.0) + wander + beat;
    }
    const std::vector<double> expected = records::BaselineFilter::apply(input);
    open();
    for (const bool captured744 : {false, true}) {
        writeRecord("REC.txt", captured744 ? captured(input) : input);
        command(ids::filter);
        const std::vector<double> stored = testsupport::readRecordValues("REC.txt");
        ASSERT_EQ(stored.size(), input.size());
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const double marker = i % 2 == 0 ? 1000.0 : -1000.0;
            ASSERT_NEAR(stored[i], expected[i] + marker, 3e-6) << i;
        }
    }
}

// FILTER through the window on the simulator's ECG with breathing added: the
// stored result has lost the wander and kept what a cardiologist measures.
TEST_F(ReviewTest, FilterOfARecordedEcgRemovesBreathingAndKeepsStAndT) {
    const testsupport::SimulatedEcg ecg = testsupport::recordSimulatedEcg(72.0, 1200);
    ASSERT_EQ(ecg.values.size(), 1200u);
    std::vector<double> wandering = ecg.values;
    testsupport::addWander(wandering, 1.0, 0.05);
    testsupport::addWander(wandering, 0.3, 0.3);
    writeRecord("REC.txt", captured(wandering));
    open();
    command(ids::filter);
    std::vector<double> stored = testsupport::readRecordValues("REC.txt");
    ASSERT_EQ(stored.size(), wandering.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        stored[i] -= i % 2 == 0 ? 1000.0 : -1000.0;
    }
    const testsupport::BeatLevels raw = testsupport::medianBeat(ecg.values, ecg.heart);
    const testsupport::BeatLevels beat = testsupport::medianBeat(stored, ecg.heart);
    EXPECT_NEAR(beat.r, raw.r, 0.1 * raw.r);
    EXPECT_NEAR(beat.st, raw.st, 0.05);
    EXPECT_NEAR(beat.tPeak, raw.tPeak, 0.05);
    // No second of it strays from 0 mV by more than a beat's own swing: the
    // 1.3 mV of breathing are gone.
    const auto second = static_cast<std::size_t>(ecg.valuesPerSecond);
    for (std::size_t start = second; start + 2 * second < stored.size(); start += second) {
        std::vector<double> part(stored.begin() + static_cast<std::ptrdiff_t>(start),
                                 stored.begin() + static_cast<std::ptrdiff_t>(start + second));
        std::nth_element(part.begin(), part.begin() + static_cast<std::ptrdiff_t>(part.size() / 2),
                         part.end());
        EXPECT_NEAR(part[part.size() / 2], baseline, 0.1 * 5.48) << start;
    }
}

// A record longer than a pane's record holds (from elsewhere, or joined by
// hand) loses no sample to FILTER: all of it is filtered and stored.
TEST_F(ReviewTest, FilterKeepsEverySampleOfARecordLongerThanTheDisplayHolds) {
    std::vector<double> input(12000, 70.0);
    input.back() = 90.0;
    writeRecord("REC.txt", captured(input));
    open();
    command(ids::filter);
    const std::vector<double> stored = testsupport::readRecordValues("REC.txt");
    ASSERT_EQ(stored.size(), input.size());
    EXPECT_NEAR(stored[11000] - 1000.0, baseline, 1e-6);
    EXPECT_NEAR(stored.back() + 1000.0, baseline + 20.0, 1e-6);
}

TEST_F(ReviewTest, AFilterThatCannotWriteItsFileLeavesTheRecordAsItWas) {
    writeRecord("REC.txt", captured(std::vector<double>(300, 60.0)));
    const std::string before = testsupport::readFile("REC.txt");
    std::filesystem::create_directory("RECf.txt");
    std::ofstream("RECf.txt/keep") << "x";
    open();
    modal().boxes.clear();
    command(ids::filter);
    EXPECT_EQ(testsupport::readFile("REC.txt"), before);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].caption, "FILTER");
    EXPECT_NE(modal().boxes[0].text.find("not changed"), std::string::npos);
}

// Values at the edges of what a record may hold: FILTER and the display keep
// every line, write only numbers, and never turn one into "nan".
TEST_F(ReviewTest, ExtremeValuesSurviveFilterAndDisplay) {
    std::ofstream("REC.txt", std::ios::binary)
        << "1e308\n-0\nnan\n0x1p3\ninf\n-1e999\n57.2\r\n1e300\n-1e300\n60\n";
    open();
    command(ids::filter);
    command(2000, 0, 0);
    const std::string stored = testsupport::readFile("REC.txt");
    EXPECT_EQ(std::count(stored.begin(), stored.end(), '\n'), 10);
    EXPECT_EQ(stored.find("nan"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("inf"), std::string::npos) << stored;
}

TEST_F(ReviewTest, ASpeedChangeWithFilterDisabledFiltersAgain) {
    writeRecord("REC.txt", captured(std::vector<double>(500, 60.0)));
    open();
    ASSERT_FALSE(dialog().isEnabled(ids::filter));
    dialog().selectListEntry(ids::speedList, 2);
    command(ids::speedList, 9);
    EXPECT_DOUBLE_EQ(controller().speedFactor, 4.16);
    const std::vector<double> stored = testsupport::readRecordValues("REC.txt");
    ASSERT_EQ(stored.size(), 500u);
    EXPECT_GT(stored[0], 900.0);
    EXPECT_LT(stored[1], -900.0);
}

TEST_F(ReviewTest, ADragMarksBandsThatFollowThePointer) {
    open();
    const int x0 = left() + 100;
    dialog().mouse(Mouse::Press, x0, middle(0));
    dialog().mouse(Mouse::Move, x0, middle(0));
    EXPECT_EQ(band(0), std::make_pair(x0, x0 + 20));
    // The picture under the band shows inverted; outside it, as drawn.
    const int local = x0 - left() - 1;
    EXPECT_NE(pane(0).surface().shownPixel(local + 5, 50), pane(0).surface().pixel(local + 5, 50));
    EXPECT_EQ(pane(0).surface().shownPixel(local + 25, 50),
              pane(0).surface().pixel(local + 25, 50));

    dialog().mouse(Mouse::Move, x0 + 10, middle(0));  // inside the last strip
    EXPECT_EQ(band(0), std::make_pair(x0, x0 + 20));
    dialog().mouse(Mouse::Move, x0 + 60, middle(0));
    EXPECT_EQ(band(0), std::make_pair(x0, x0 + 60));
    dialog().mouse(Mouse::Move, x0 - 30, middle(0));
    EXPECT_EQ(band(0), std::make_pair(x0 - 30, x0));

    // On into the next pane: the first runs to its end, the second from its start.
    dialog().mouse(Mouse::Move, x0 + 200, middle(1));
    EXPECT_EQ(band(0).first, x0);
    EXPECT_EQ(band(0).second, pane(0).windowRect.right - 1);
    // (The band is shown inside the pane's border.)
    EXPECT_EQ(band(1), std::make_pair(pane(1).windowRect.left + 1, x0 + 200));
    dialog().mouse(Mouse::Release, x0 + 200, middle(1));
    EXPECT_EQ(controller().upPane, 1);

    // The bands survive the redraws of a scroll there and back.
    barScroll(platform::scroll::lineDown);
    barScroll(platform::scroll::lineUp);
    EXPECT_TRUE(hasBand(0));
    EXPECT_TRUE(hasBand(1));

    // A release below the panes cancels the selection.
    drag(2, x0, 3, x0 + 50);
    EXPECT_TRUE(hasBand(3));
    dialog().mouse(Mouse::Press, x0, middle(2));
    dialog().mouse(Mouse::Move, x0, middle(2));
    dialog().mouse(Mouse::Release, x0, pane(4).homeRect.bottom + 3);
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(hasBand(i)) << i;
    }
    EXPECT_EQ(controller().downPane, -1);
}

// Dragging past the bottom of the strips scrolls them on, and the band goes
// on in the pane that comes into the last slot; past the top, back.
TEST_F(ReviewTest, ADragPastTheEdgesScrollsTheStrips) {
    open();
    const int x = left() + 300;
    dialog().mouse(Mouse::Press, x, middle(4));
    dialog().mouse(Mouse::Move, x, middle(4));
    ASSERT_TRUE(hasBand(4));
    dialog().mouse(Mouse::Move, x + 100, pane(4).homeRect.bottom + 5);
    EXPECT_EQ(controller().firstVisiblePane, 1);
    EXPECT_TRUE(hasBand(5));
    EXPECT_EQ(band(5).second, x + 100);
    dialog().mouse(Mouse::Move, x, pane(0).homeRect.top - 5);
    EXPECT_EQ(controller().firstVisiblePane, 0);
    dialog().mouse(Mouse::Release, x, middle(2));
    // A drag that has not started a band leaves the strips where they are.
    dialog().mouse(Mouse::Press, x, middle(0));
    dialog().mouse(Mouse::Move, x, pane(0).homeRect.top - 5);
    EXPECT_EQ(controller().firstVisiblePane, 0);
    EXPECT_FLOAT_EQ(render::traceOffset.load(), render::initialTraceOffset);
}

class PartialSaveTest : public ReviewTest {
protected:
    void SetUp() override {
        ReviewTest::SetUp();
        for (int i = 0; i < 1000; ++i) {
            record_.push_back(50.0 + i * 0.125);
        }
        writeRecord("REC.txt", record_);
        open();
    }
    std::vector<double> linesOf(int first, int last) {
        return {record_.begin() + (first - 1), record_.begin() + last};
    }
    std::vector<double> record_;
};

// The example: press in pane 0 at 20 pixels, release in pane 1 at 40
// pixels right of the left edge keeps lines 9 to 479 on our 958-pixel panes.
TEST_F(PartialSaveTest, SaveKeepsTheMarkedStretchInEitherDirection) {
    drag(0, left() + 20, 1, left() + 40);
    chooseSave();
    EXPECT_EQ(testsupport::readFile("REC.txt"), lines(linesOf(9, 479), records::LineEnd::Newline));
    EXPECT_EQ(testsupport::readFile("REC1.txt"),
              lines(linesOf(9, 479), records::LineEnd::BlankNewline));
    EXPECT_FALSE(hasBand(0));

    writeRecord("REC.txt", record_);
    drag(1, left() + 40, 0, left() + 20);
    chooseSave();
    EXPECT_EQ(testsupport::readRecordValues("REC.txt"), linesOf(9, 479));
}

TEST_F(PartialSaveTest, WithTheStripsScrolledSaveKeepsWhatTheUserSees) {
    barScroll(platform::scroll::lineDown);
    drag(0, left() + 20, 1, left() + 40);
    chooseSave();
    // Pane 1 at 20 pixels to pane 2 at 40 pixels.
    EXPECT_EQ(testsupport::readRecordValues("REC.txt"), linesOf(469, 939));
}

TEST_F(PartialSaveTest, AnEmptyStretchOrARunningRecordingKeepsTheRecord) {
    const std::string before = testsupport::readFile("REC.txt");
    drag(0, left() + 1, 0, left() + 1);
    chooseSave();
    EXPECT_EQ(testsupport::readFile("REC.txt"), before);
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].caption, "SAVE");

    drag(0, left() + 20, 1, left() + 40);
    startRecording();
    chooseSave();
    EXPECT_EQ(modal().boxes.back().text, "Please STOP Recording first");
    EXPECT_FALSE(controller().idle);
}

TEST_F(ReviewTest, SaveRecordedCopiesSlotOneToTheChosenFile) {
    writeRecord("REC.txt", {60.0, 61.0});
    open();
    const std::string target = (scratch_.path() / "out" / "sent.txt").string();
    std::filesystem::create_directory(scratch_.path() / "out");
    // A file of the user's beside the target is none of the copy's business.
    std::ofstream(target + ".part") << "mine";
    modal().saveAnswer = target;
    command(ids::saveRecorded);
    ASSERT_EQ(modal().saveDialogs.size(), 1u);
    EXPECT_EQ(modal().saveDialogs[0].initialName, "REC1");
    EXPECT_EQ(modal().saveDialogs[0].filters[0].label, "Text Files (REC1.TXT)");
    EXPECT_EQ(modal().saveDialogs[0].defaultExtension, "txt");
    EXPECT_EQ(testsupport::readFile(target), testsupport::readFile("REC1.txt"));
    EXPECT_EQ(testsupport::readFile(target + ".part"), "mine");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch_.path() / "out"),
                            std::filesystem::directory_iterator{}),
              2);
    EXPECT_TRUE(dialog().isEnabled(ids::saveRecorded));
    EXPECT_TRUE(dialog().isEnabled(ids::startStop));

    // A name ending in ".edf" (the EDF+ file type) gets the EDF+ form.
    modal().saveAnswer = (scratch_.path() / "out" / "sent.EDF").string();
    command(ids::saveRecorded);
    const std::string edf = testsupport::readFile(*modal().saveAnswer);
    ASSERT_GE(edf.size(), 256u);
    EXPECT_EQ(edf.substr(0, 8), "0       ");
    EXPECT_EQ(edf.compare(192, 5, "EDF+C"), 0);
    EXPECT_EQ(modal().saveDialogs.back().filters[1].label, "EDF+ (*.edf)");
    EXPECT_EQ(modal().saveDialogs.back().filters[1].extension, "edf");

    // Without a stored recording the user is told, and nothing is written.
    std::filesystem::remove("REC1.txt");
    modal().saveAnswer = (scratch_.path() / "out" / "other.txt").string();
    command(ids::saveRecorded);
    EXPECT_FALSE(std::filesystem::exists(*modal().saveAnswer));
    ASSERT_FALSE(modal().boxes.empty());
    EXPECT_NE(modal().boxes.back().text.find("not saved"), std::string::npos);
}

}  // namespace
}  // namespace app::test
