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
#include "records/RecordFormat.h"

namespace app::test {
namespace {

namespace ids = resources::ids;

// A page rendered by pdftoppm, in grey levels.
struct Page {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> grey;
    bool dark(int x, int y) const {
        return grey[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                    static_cast<std::size_t>(x)] < 128;
    }
};

std::vector<Page> renderPdf(const std::string& pdf, int dpi) {
    const std::string prefix = pdf + ".page";
    const std::string command =
        "pdftoppm -gray -r " + std::to_string(dpi) + " '" + pdf + "' '" + prefix + "' 2>/dev/null";
    std::vector<Page> pages;
    if (std::system(command.c_str()) != 0) {
        return pages;
    }
    for (int number = 1;; ++number) {
        // pdftoppm numbers pages with as many digits as the last page needs.
        const std::string name = prefix + "-" + std::to_string(number) + ".pgm";
        std::ifstream in(name, std::ios::binary);
        if (!in) {
            break;
        }
        std::string magic;
        Page page;
        int maxGrey = 0;
        in >> magic >> page.width >> page.height >> maxGrey;
        in.get();
        page.grey.resize(static_cast<std::size_t>(page.width) * page.height);
        in.read(reinterpret_cast<char*>(page.grey.data()),
                static_cast<std::streamsize>(page.grey.size()));
        pages.push_back(std::move(page));
    }
    return pages;
}

// Dark pixels of a page's horizontal band [top, bottom), and the rightmost x.
struct Ink {
    int pixels = 0;
    int right = -1;
    int left = 1 << 30;
};

Ink inkIn(const Page& page, int top, int bottom) {
    Ink ink;
    for (int y = std::max(top, 0); y < std::min(bottom, page.height); ++y) {
        for (int x = 0; x < page.width; ++x) {
            if (page.dark(x, y)) {
                ink.pixels += 1;
                ink.right = std::max(ink.right, x);
                ink.left = std::min(ink.left, x);
            }
        }
    }
    return ink;
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

class PrintTest : public MainWindowTest {
protected:
    std::string pdf() { return (scratch_.path() / "strips.pdf").string(); }
    // Ctrl+P as the user presses it, then the job to its end.
    void printAndWait() {
        dialog().pressKey(platform::MainDialog::Key::CtrlP);
        ASSERT_TRUE(pumpUntil([&] { return !controller().painter().isPrinting(); }, 60s));
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

// Seven panes of recording: five strips on the first page, two on the
// second, each in its band, spanning the printable width and no further.
TEST_F(PrintTest, ASevenPaneRecordingPrintsFiveStripsAPage) {
    writeRecord("REC.txt", 7 * 460 - 100);
    open();
    modal().printToPdf = pdf();
    dialog().pressKey(platform::MainDialog::Key::CtrlP);
    EXPECT_FALSE(dialog().isWindowEnabled());
    ASSERT_NE(controller().painter().printCancelDialog(), nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !controller().painter().isPrinting(); }, 60s));
    EXPECT_TRUE(dialog().isWindowEnabled());
    ASSERT_EQ(modal().printDialogs.size(), 1u);
    EXPECT_EQ(modal().printDialogs[0].documentName, "TrelmontGraph");

    const std::vector<Page> pages = renderPdf(pdf(), 60);
    ASSERT_EQ(pages.size(), 2u);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const Page& page = pages[p];
        // A4 at 60 dpi: the printable area lies inside the page's margins.
        const int band = page.height / 5;
        for (int b = 0; b < 5; ++b) {
            const bool printed = p == 0 || b < 2;
            const Ink ink = inkIn(page, b * band + 2, (b + 1) * band - 2);
            SCOPED_TRACE("page " + std::to_string(p + 1) + " band " + std::to_string(b));
            if (!printed) {
                EXPECT_EQ(ink.pixels, 0);
                continue;
            }
            EXPECT_GT(ink.pixels, 100);
            EXPECT_LT(ink.right, page.width - 5);
            if (p == 0) {
                // A full strip runs across the printable width.
                EXPECT_GT(ink.right - ink.left, page.width * 8 / 10);
            }
        }
        // Nothing on the lines between bands: no trace leaves its band.
        for (int b = 1; b < 5; ++b) {
            EXPECT_EQ(inkIn(page, b * band - 1, b * band + 1).pixels, 0) << "page " << p + 1;
        }
    }
}

TEST_F(PrintTest, AnEmptyRecordingPrintsOneEmptyPage) {
    std::ofstream("REC.txt").close();
    open();
    modal().printToPdf = pdf();
    printAndWait();
    const std::vector<Page> pages = renderPdf(pdf(), 30);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(inkIn(pages[0], 0, pages[0].height).pixels, 0);
}

TEST_F(PrintTest, ACancelledPrintDialogSaysSoAndPrintsNothing) {
    writeRecord("REC.txt", 500);
    open();
    command(ids::printGraph);
    EXPECT_FALSE(controller().painter().isPrinting());
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
    controller().painter().setPrintObserver([&](int strip) {
        if (strip != 0) {
            return;
        }
        std::unique_lock lock(mutex);
        atFirstStrip = true;
        changed.notify_all();
        changed.wait_for(lock, 30s, [&] { return mayGoOn; });
    });
    command(ids::printGraph);
    ASSERT_TRUE(pumpUntil([&] {
        std::lock_guard lock(mutex);
        return atFirstStrip;
    }));
    platform::ModelessDialog* cancel = controller().painter().printCancelDialog();
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
    ASSERT_TRUE(pumpUntil([&] { return !controller().painter().isPrinting(); }));
    EXPECT_EQ(controller().painter().printCancelDialog(), nullptr);
    EXPECT_TRUE(dialog().isWindowEnabled());
    EXPECT_FALSE(std::filesystem::exists(pdf()));
    EXPECT_TRUE(onlyThePdfIsLeft());
    controller().painter().setPrintObserver(nullptr);
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

TEST(PrintJob, StripsAreCountedFromTheRecordingsLength) {
    EXPECT_EQ(acquisition::PrintJob::stripCount(0, 460), 0);
    EXPECT_EQ(acquisition::PrintJob::stripCount(1000, 2000), 1);
    EXPECT_EQ(acquisition::PrintJob::stripCount(920, 460), 2);
    EXPECT_EQ(acquisition::PrintJob::stripCount(921, 460), 3);
    EXPECT_EQ(acquisition::PrintJob::stripCount(10000, 460), 20);
}

// m = 1000 at n = 2000: one strip, in the first band.
TEST(PrintJob, ALongStripHoldsAShortRecording) {
    application();
    testsupport::ScratchDirectory scratch;
    acquisition::PrintSettings settings;
    for (int i = 0; i < 1000; ++i) {
        settings.values.push_back(57.2 + (i % 50 == 0 ? 8.0 : 0.0));
    }
    settings.samplesPerStrip = 2000;
    settings.paneRect = {0, 0, 958, 124};
    const std::string path = (scratch.path() / "one.pdf").string();
    const auto printer = platform::PrinterSurface::pdf(path);
    const std::atomic<bool> cancelled{false};
    ASSERT_TRUE(acquisition::PrintJob::print(*printer, settings, cancelled));
    const std::vector<Page> pages = renderPdf(path, 30);
    ASSERT_EQ(pages.size(), 1u);
    const int band = pages[0].height / 5;
    EXPECT_GT(inkIn(pages[0], 0, band).pixels, 20);
    EXPECT_EQ(inkIn(pages[0], band, pages[0].height).pixels, 0);
    // Half the strip's samples: the trace ends about half way across.
    const Ink ink = inkIn(pages[0], 0, band);
    EXPECT_NEAR(ink.right, pages[0].width / 2, pages[0].width / 10);
}

}  // namespace
}  // namespace app::test
