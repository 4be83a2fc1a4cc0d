#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "MainWindowRig.h"
#include "acquisition/PrintJob.h"
#include "records/Companion.h"
#include "records/RecordBuffer.h"
#include "records/RecordFormat.h"
#include "render/PaperPrinter.h"
#include "tests/support/PrintedPages.h"
#include "tests/support/RecordingFiles.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
using testsupport::PrintedPage;

constexpr int pixelsPerMillimetre = 10;
constexpr int dpi = 254;
// Black pixels in a row that only a full strip's flat line has.
constexpr int stripLine = 1500;
// Below the header, where the shorter lines of a strip's last band are
// told from the header's blanks to be filled in.
constexpr int belowHeader = 25 * pixelsPerMillimetre;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void writeRecord(const std::string& name, int count) {
    std::ofstream out(name, std::ios::binary);
    char text[records::valueTextSize];
    for (int i = 0; i < count; ++i) {
        const double ecg = 57.2 + (i % 40 == 10 ? 6.0 : i % 40 == 11 ? -2.0 : 0.0);
        const double stored = ecg + (i % 2 == 0 ? 744.0 : -744.0);
        out.write(text, static_cast<std::streamsize>(
                            records::formatValue(stored, records::LineEnd::BlankNewline, text)));
    }
}

// A record as writeRecord writes it, and its companion: ten values to a
// line rising by 0.02 across it, whose mean is the line's value.
std::vector<double> writeRecordWithCompanion(const std::string& name, int count) {
    writeRecord(name, count);
    std::vector<double> values;
    std::ifstream in(name);
    std::string line;
    while (std::getline(in, line)) {
        const double stored = records::parseValue(line);
        const double value = stored + (stored > 0.0 ? -744.0 : 744.0);
        for (int j = 0; j < records::companionValuesPerLine; ++j) {
            values.push_back(value + (j - 4.5) * 0.02);
        }
    }
    EXPECT_TRUE(testsupport::writeCompanion(name, values));
    return values;
}

class PrintTest : public MainWindowTest {
protected:
    std::string pdf() { return (scratch_.path() / "strips.pdf").string(); }
    // Ctrl+P as the user presses it, then the job to its end.
    void printAndWait() {
        dialog().pressKey(platform::MainDialog::Key::CtrlP);
        ASSERT_TRUE(pumpUntil([&] { return !controller().printSession().isPrinting(); }, 60s));
    }
    bool onlyThePdfIsLeft() {
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(scratch_.path())) {
            const std::string name = entry.path().filename().string();
            files += name.rfind("strips.pdf", 0) == 0 ? 1 : 0;
        }
        return files <= 1;
    }
};

// Seven panes of recording: five strips on the first page and two on the
// second, under headers that say so; then at "10 mm/mV" (a change of gain
// filters the recording, as the window has it).
TEST_F(PrintTest, ASevenPaneRecordingPrintsFiveStripsAPageAtTheWindowsGain) {
    writeRecord("REC.txt", 7 * 460 - 100);
    open();
    modal().printToPdf = pdf();
    dialog().pressKey(platform::MainDialog::Key::CtrlP);
    EXPECT_FALSE(dialog().isWindowEnabled());
    ASSERT_NE(controller().printSession().cancelDialog(), nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !controller().printSession().isPrinting(); }, 60s));
    EXPECT_TRUE(dialog().isWindowEnabled());
    ASSERT_EQ(modal().printDialogs.size(), 1u);
    EXPECT_EQ(modal().printDialogs[0].documentName, "TrelmontGraph");

    const std::string text = testsupport::pdfText(pdf());
    for (const char* expected : {"page 1 of 2", "page 2 of 2", "5 mm/mV", "unfiltered",
                                 "duration 1:04.0", "0:37.7", "0:47.2", "0:56.6"}) {
        EXPECT_TRUE(contains(text, expected)) << expected << " in\n" << text;
    }
    std::vector<PrintedPage> pages = testsupport::renderPdf(pdf(), dpi);
    ASSERT_EQ(pages.size(), 2u);
    const std::vector<double> first = testsupport::traceBaselines(pages[0], stripLine);
    ASSERT_EQ(first.size(), 5u);
    EXPECT_EQ(testsupport::traceBaselines(pages[1], stripLine).size(), 2u);

    dialog().selectListEntry(ids::gainList, 1);
    command(ids::gainList, 9);
    printAndWait();
    const std::string filtered = testsupport::pdfText(pdf());
    EXPECT_TRUE(contains(filtered, "10 mm/mV")) << filtered;
    EXPECT_TRUE(contains(filtered, "baseline filtered")) << filtered;
    // The calibration pulse, on the same baseline: 1 mV is now 10 mm.
    pages = testsupport::renderPdf(pdf(), dpi);
    ASSERT_EQ(pages.size(), 2u);
    const std::vector<testsupport::Rise> rises =
        testsupport::risesAbove(pages[0], first[0], 20, 200);
    ASSERT_FALSE(rises.empty());
    EXPECT_NEAR(first[0] - rises[0].top, 10 * pixelsPerMillimetre, 5.0);
}

// A recording longer than the window holds, with its companion: the strips
// are printed from the companion while it belongs to the whole file, and
// from the values alone once lines past the printed ones disagree.
TEST_F(PrintTest, TheCompanionIsPrintedWhileItBelongsToTheWholeRecording) {
    const int count = records::RecordBuffer::capacity + 100;
    std::vector<double> companion = writeRecordWithCompanion("REC.txt", count);
    open();
    modal().printToPdf = pdf();
    printAndWait();
    const std::string text = testsupport::pdfText(pdf());
    for (const char* expected : {"487.5 values/s", "page 1 of 4", "0:09.4", "2:59.3"}) {
        EXPECT_TRUE(contains(text, expected)) << expected << " in\n" << text;
    }
    EXPECT_FALSE(contains(text, "48.75 values/s")) << text;

    // Lines of another recording: 150 of 10100 (1.5 %) past the printed ones.
    const std::size_t late = static_cast<std::size_t>(count - 150) * 10;
    for (std::size_t j = late; j < companion.size(); ++j) {
        companion[j] += 3.0;
    }
    ASSERT_TRUE(testsupport::writeCompanion("REC.txt", companion));
    printAndWait();
    const std::string alone = testsupport::pdfText(pdf());
    EXPECT_TRUE(contains(alone, "48.75 values/s")) << alone;
    EXPECT_FALSE(contains(alone, "487.5 values/s")) << alone;
}

TEST_F(PrintTest, AnEmptyRecordingPrintsOneEmptyPage) {
    std::ofstream("REC.txt").close();
    open();
    modal().printToPdf = pdf();
    printAndWait();
    const std::vector<PrintedPage> pages = testsupport::renderPdf(pdf(), dpi);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(testsupport::traceBaselines(pages[0], stripLine).empty());
    const std::string text = testsupport::pdfText(pdf());
    EXPECT_TRUE(contains(text, "page 1 of 1")) << text;
    EXPECT_TRUE(contains(text, "duration 0:00.0")) << text;
}

TEST_F(PrintTest, ACancelledPrintDialogSaysSoAndPrintsNothing) {
    writeRecord("REC.txt", 500);
    open();
    command(ids::printGraph);
    EXPECT_FALSE(controller().printSession().isPrinting());
    ASSERT_EQ(modal().boxes.size(), 1u);
    EXPECT_EQ(modal().boxes[0].text, "ERROR print Dialog");
    EXPECT_EQ(modal().boxes[0].caption, "can not create print Dialog");
    EXPECT_EQ(modal().boxes[0].icon, platform::BoxIcon::None);
    EXPECT_TRUE(dialog().isWindowEnabled());
}

// The cancel button, pressed while the job is at its first strip: the dialog
// goes, the document is abandoned with no file left, the window comes back.
TEST_F(PrintTest, CancellingAbandonsTheDocument) {
    writeRecord("REC.txt", 7 * 460);
    open();
    modal().printToPdf = pdf();
    std::mutex mutex;
    std::condition_variable changed;
    bool atFirstStrip = false;
    bool mayGoOn = false;
    // The job the print command starts, held at its first strip.
    acquisition::PrintSettings settings = controller().painter().printSettings();
    settings.beforeStrip = [&](int strip) {
        if (strip != 0) {
            return;
        }
        std::unique_lock lock(mutex);
        atFirstStrip = true;
        changed.notify_all();
        changed.wait_for(lock, 30s, [&] { return mayGoOn; });
    };
    ASSERT_TRUE(controller().printSession().start(platform::PrinterSurface::pdf(pdf()),
                                                  std::move(settings)));
    ASSERT_TRUE(pumpUntil([&] {
        std::lock_guard lock(mutex);
        return atFirstStrip;
    }));
    platform::ModelessDialog* cancel = controller().printSession().cancelDialog();
    ASSERT_NE(cancel, nullptr);
    EXPECT_TRUE(cancel->isVisible());
    EXPECT_FALSE(cancel->hasCloseButton());
    EXPECT_EQ(cancel->text(ids::cancelPrint), "Cancel print job");
    EXPECT_FALSE(dialog().isWindowEnabled());
    cancel->click(ids::cancelPrint);
    {
        std::lock_guard lock(mutex);
        mayGoOn = true;
    }
    changed.notify_all();
    ASSERT_TRUE(pumpUntil([&] { return !controller().printSession().isPrinting(); }));
    EXPECT_EQ(controller().printSession().cancelDialog(), nullptr);
    EXPECT_TRUE(dialog().isWindowEnabled());
    EXPECT_FALSE(std::filesystem::exists(pdf()));
    EXPECT_TRUE(onlyThePdfIsLeft());
}

// Printing reads the recording into its own copy and draws with its own
// pen: the screen and the panes' drawing state stay as they were.
TEST_F(PrintTest, APrintoutLeavesTheScreenAsItWas) {
    writeRecord("REC.txt", 2 * 460);
    open();
    command(2000, 0, 0);
    std::vector<double> penBefore;
    std::vector<int> lastBefore;
    for (int i = 0; i < 5; ++i) {
        penBefore.push_back(controller().pane(i).penX());
        lastBefore.push_back(controller().pane(i).lastY());
    }
    const platform::Rgb pixelBefore = controller().pane(0).surface().pixel(300, 60);
    modal().printToPdf = pdf();
    printAndWait();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(controller().pane(i).penX(), penBefore[static_cast<std::size_t>(i)]);
        EXPECT_EQ(controller().pane(i).lastY(), lastBefore[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(controller().pane(0).surface().pixel(300, 60), pixelBefore);
    EXPECT_TRUE(std::filesystem::exists(pdf()));
}

// `strips` strips of 460 values on the baseline, a spike of `millivolts`
// every 49 values from value 10 on.
acquisition::PrintSettings spikedStrips(int strips, double millivolts) {
    acquisition::PrintSettings settings;
    for (int i = 0; i < strips * 460; ++i) {
        settings.values.push_back(57.2 + (i % 49 == 10 ? millivolts * 5.48 : 0.0));
    }
    settings.samplesPerStrip = 460;
    return settings;
}

TEST(PrintJob, StripsAreCountedFromTheRecordingsLength) {
    EXPECT_EQ(acquisition::PrintJob::stripCount(0, 460), 0);
    EXPECT_EQ(acquisition::PrintJob::stripCount(1000, 2000), 1);
    EXPECT_EQ(acquisition::PrintJob::stripCount(920, 460), 2);
    EXPECT_EQ(acquisition::PrintJob::stripCount(921, 460), 3);
    EXPECT_EQ(acquisition::PrintJob::stripCount(10000, 460), 20);
}

// On A4 portrait (about 202 mm printable) a 248 mm strip goes on in the
// next band at the same 25 mm/s, and the next strip starts below it: three
// strips take bands 1 to 5 of the first page and band 1 of the second.
TEST(PrintJob, OnPaperTooNarrowAStripGoesOnInTheNextBand) {
    application();
    testsupport::ScratchDirectory scratch;
    acquisition::PrintSettings settings = spikedStrips(3, 1.5);
    const std::string path = (scratch.path() / "portrait.pdf").string();
    const auto printer =
        platform::PrinterSurface::pdf(path, platform::PrinterSurface::Orientation::Portrait);
    const double printableWidth =
        printer->width() * static_cast<double>(dpi) / printer->dotsPerInch();
    const std::atomic<bool> cancelled{false};
    ASSERT_TRUE(acquisition::PrintJob::print(*printer, settings, cancelled));

    const std::vector<PrintedPage> pages = testsupport::renderPdf(path, dpi);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_LT(pages[0].width, pages[0].height);
    const std::vector<double> bands = testsupport::traceBaselines(pages[0], 300, belowHeader);
    ASSERT_EQ(bands.size(), 5u);
    // A strip's two bands: the spikes of the second go on 49 values after
    // those of the first, as if the paper were one long strip.
    for (int strip = 0; strip < 2; ++strip) {
        const auto head = testsupport::risesAbove(pages[0], bands[2 * strip], 20, 150);
        const auto tail = testsupport::risesAbove(pages[0], bands[2 * strip + 1], 20, 150);
        ASSERT_GE(head.size(), 2u);
        ASSERT_GE(tail.size(), 1u);
        EXPECT_NEAR(tail.front().middle() + printableWidth - head.back().middle(),
                    49 / 48.75 * 25 * pixelsPerMillimetre, 5.0)
            << "strip " << strip;
        // The rest of the strip: its last value lies 12 + 459 / 48.75 * 25 mm
        // from its start.
        int left = pages[0].width;
        int right = 0;
        const int row = static_cast<int>(std::lround(bands[2 * strip + 1]));
        for (int x = 0; x < pages[0].width; ++x) {
            if (pages[0].ink(x, row)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        EXPECT_NEAR(right - left, (12 + 459 / 48.75 * 25) * pixelsPerMillimetre - printableWidth,
                    5.0);
    }
    // The third strip starts in the last band and ends on the next page.
    EXPECT_EQ(testsupport::traceBaselines(pages[1], 300, belowHeader).size(), 1u);
}

// A recording cut out of a live one: the two buffers skipped at a change of
// pane now lie inside its first strip. The trace breaks there for their
// 41 ms and says when it goes on, so that every spike after them stands at
// its own time; as recorded, with the skips between strips, nothing breaks.
TEST(PrintJob, BuffersSkippedInsideAStripBreakItsTrace) {
    application();
    testsupport::ScratchDirectory scratch;
    acquisition::PrintSettings settings = spikedStrips(2, 2.0);
    const auto printed = [&](std::vector<long long> skips) {
        settings.facts.skippedAfterLines = std::move(skips);
        const std::string path = (scratch.path() / "cut.pdf").string();
        const auto printer = platform::PrinterSurface::pdf(path);
        const std::atomic<bool> cancelled{false};
        EXPECT_TRUE(acquisition::PrintJob::print(*printer, settings, cancelled));
        return path;
    };
    // Spikes 49 values apart, 251 pixels; 51 across the skipped pair.
    const auto spacings = [](const std::string& pdf) {
        const std::vector<PrintedPage> pages = testsupport::renderPdf(pdf, dpi);
        std::vector<double> apart;
        if (pages.empty()) {
            return apart;
        }
        const auto bands = testsupport::traceBaselines(pages[0], 300, belowHeader);
        const auto rises = bands.empty() ? std::vector<testsupport::Rise>{}
                                         : testsupport::risesAbove(pages[0], bands[0], 70, 150);
        for (std::size_t i = 1; i < rises.size(); ++i) {
            apart.push_back(rises[i].middle() - rises[i - 1].middle());
        }
        return apart;
    };
    const double step = 25.0 * pixelsPerMillimetre / 48.75;

    const std::string cut = printed({230, 230});
    const std::string text = testsupport::pdfText(cut);
    EXPECT_TRUE(contains(text, render::PaperPrinter::notRecordedLegend)) << text;
    EXPECT_TRUE(contains(text, acquisition::PrintJob::clockText(232 / 48.75))) << text;
    std::vector<double> apart = spacings(cut);
    ASSERT_EQ(apart.size(), 9u);
    for (std::size_t i = 0; i < apart.size(); ++i) {
        // Spikes at values 10, 59, .. 206 | 255, ..: the fifth gap holds the break.
        EXPECT_NEAR(apart[i], (i == 4 ? 51 : 49) * step, 3.0) << "spacing " << i;
    }

    const std::string recorded = printed({0, 460, 460});
    EXPECT_FALSE(contains(testsupport::pdfText(recorded), render::PaperPrinter::notRecordedLegend));
    apart = spacings(recorded);
    ASSERT_EQ(apart.size(), 9u);
    EXPECT_NEAR(apart[4], 49 * step, 3.0);
}

}  // namespace
}  // namespace app::test
