// A recording of three panes drawn by the capture worker, checked as a
// picture: where the trace lies on the paper, how far it reaches, how many
// beats it shows, and that the panes after it stay blank. The five live panes
// are written as one PNG into the scratch directory and, when
// TRELMONT_SCREENSHOT_DIR is set, into that directory as "five-panes.png" for
// people to look at.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/FrontEndSimulator.h"
#include "acquisition/Painter.h"
#include "platform/PaneSurface.h"
#include "render/EcgPane.h"
#include "render/TraceOffset.h"
#include "tests/support/ScratchDirectory.h"

namespace acquisition {
namespace {

using namespace std::chrono_literals;
using namespace platform;

constexpr int paneWidth = 958;
constexpr int paneHeight = 124;
// Buffers a pane holds at 2.08 pixels a buffer.
constexpr int paneSteps = 461;
// Three panes full, and the buffer that moves the trace on from each of them:
// the trace then stands at the start of pane 3 without having drawn there.
constexpr int threePanes = 3 * paneSteps + 3;
// 57.2, the tone's value at 0 mV, at the default gain and trace offset.
constexpr int baselineRow = 87;
// 461 buffers of 4096 samples at 199680 per second, at 72 beats a minute:
// 11.35 beats a pane, one every 84.5 pixels.
constexpr double beatsPerPane = paneSteps * 4096.0 / 199680.0 * 72.0 / 60.0;
constexpr int beatWidth = static_cast<int>(paneSteps * 2.08 / beatsPerPane);
// How far an R wave rises above the trace around it (about 20 pixels at the
// default gain, less where a buffer's window misses the top of the wave);
// P and T waves stay below 9.
constexpr int peakRise = 10;

// The simulator's stream, cut off after a number of buffers: buffers queued
// beyond it are held back, as a device that has stopped delivering holds them,
// and come back done when the stream is reset. So the capture worker sees
// exactly that many buffers whatever the timing.
class CutOffStream final : public WaveInStream {
public:
    CutOffStream(std::unique_ptr<WaveInStream> stream, int buffers)
        : stream_(std::move(stream)), left_(buffers) {}

    MMResult prepare(WaveHeader& header) override { return stream_->prepare(header); }
    MMResult unprepare(WaveHeader& header) override { return stream_->unprepare(header); }
    MMResult addBuffer(WaveHeader& header) override {
        if (left_.fetch_sub(1) > 0) {
            return stream_->addBuffer(header);
        }
        header.flags.fetch_or(WHDR_INQUEUE);
        held_.push_back(&header);
        return MMSYSERR_NOERROR;
    }
    MMResult start() override { return stream_->start(); }
    MMResult reset() override {
        const MMResult result = stream_->reset();
        for (WaveHeader* header : held_) {
            const std::uint32_t flags = header->flags.load();
            header->flags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE);
        }
        held_.clear();
        return result;
    }
    MMResult close() override { return stream_->close(); }

private:
    std::unique_ptr<WaveInStream> stream_;
    std::atomic<int> left_;
    std::vector<WaveHeader*> held_;
};

// The simulator, with every stream it opens cut off after `buffers`.
class CutOffSimulator final : public WaveInput {
public:
    CutOffSimulator(const SimulatorSettings& settings, int buffers)
        : simulator_(settings), buffers_(buffers) {}

    unsigned deviceCount() const override { return simulator_.deviceCount(); }
    MMResult capabilities(unsigned device, std::uint32_t& formats) const override {
        return simulator_.capabilities(device, formats);
    }
    MMResult query(unsigned device, const WaveFormat& format) const override {
        return simulator_.query(device, format);
    }
    MMResult open(std::unique_ptr<WaveInStream>& stream, unsigned device, const WaveFormat& format,
                  WaveSignal& signal) override {
        std::unique_ptr<WaveInStream> inner;
        const MMResult result = simulator_.open(inner, device, format, signal);
        if (result == MMSYSERR_NOERROR) {
            stream = std::make_unique<CutOffStream>(std::move(inner), buffers_);
        }
        return result;
    }
    std::string errorText(MMResult code, std::size_t maxChars) const override {
        return simulator_.errorText(code, maxChars);
    }

private:
    FrontEndSimulator simulator_;
    int buffers_;
};

// What the black trace pixels of one pane look like.
struct TraceShape {
    int pixels = 0;
    int firstColumn = paneWidth;
    int lastColumn = -1;
    int emptyColumns = 0;  // between the first and last column
    int topRow = paneHeight;
    int bottomRow = -1;
    int medianRow = -1;
    int peaks = 0;  // separate runs of columns that rise well above the trace around them
};

// The median of the trace's top rows over about one beat around column x: the
// height of the trace there, wander included, that a beat's R wave rises from.
int localBaseline(const std::vector<int>& columnTop, int x) {
    std::vector<int> tops;
    const int from = std::max(0, x - beatWidth / 2);
    const int to = std::min(paneWidth - 1, x + beatWidth / 2);
    for (int i = from; i <= to; ++i) {
        const int top = columnTop[static_cast<std::size_t>(i)];
        if (top != paneHeight) {
            tops.push_back(top);
        }
    }
    const auto middle = tops.begin() + static_cast<std::ptrdiff_t>(tops.size() / 2);
    std::nth_element(tops.begin(), middle, tops.end());
    return *middle;
}

TraceShape traceShape(const PaneSurface& surface) {
    TraceShape shape;
    std::vector<int> rows;
    std::vector<int> columnTop(paneWidth, paneHeight);
    for (int x = 0; x < surface.width(); ++x) {
        for (int y = 0; y < surface.height(); ++y) {
            if (surface.pixel(x, y) == black) {
                rows.push_back(y);
                int& top = columnTop[static_cast<std::size_t>(x)];
                top = std::min(top, y);
                shape.firstColumn = std::min(shape.firstColumn, x);
                shape.lastColumn = std::max(shape.lastColumn, x);
            }
        }
    }
    shape.pixels = static_cast<int>(rows.size());
    if (rows.empty()) {
        return shape;
    }
    std::sort(rows.begin(), rows.end());
    shape.topRow = rows.front();
    shape.bottomRow = rows.back();
    shape.medianRow = rows[rows.size() / 2];
    bool inPeak = false;
    for (int x = shape.firstColumn; x <= shape.lastColumn; ++x) {
        const int top = columnTop[static_cast<std::size_t>(x)];
        shape.emptyColumns += top == paneHeight ? 1 : 0;
        const bool high = top != paneHeight && localBaseline(columnTop, x) - top >= peakRise;
        shape.peaks += high && !inPeak ? 1 : 0;
        inPeak = high;
    }
    return shape;
}

std::uint32_t bigEndian32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

TEST(PainterScreenshot, ThreeRecordedPanesShowTheBeatsOnThePaperAndTheRestStaysBlank) {
    testsupport::ScratchDirectory scratch;
    render::traceOffset = render::initialTraceOffset;
    SimulatorSettings settings;
    settings.speed = 0.0;
    settings.heart.wanderMillivolts = 0.2;
    CutOffSimulator device(settings, threePanes);

    std::vector<std::unique_ptr<render::EcgPane>> panes;
    Painter::PaneList list{};
    for (int i = 0; i < Painter::paneCount; ++i) {
        panes.push_back(std::make_unique<render::EcgPane>(i, paneWidth, paneHeight, Rect{}));
        list[static_cast<std::size_t>(i)] = panes.back().get();
    }
    auto painter = std::make_unique<Painter>(device, nullptr, list, 4096, 199680, 4096);
    painter->resumeThread();
    ASSERT_TRUE(painter->startCapture());
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (painter->processedBuffers() < threePanes && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    painter->stopCapture();
    ASSERT_EQ(painter->processedBuffers(), threePanes);
    painter->stopThread();

    std::vector<const PaneSurface*> live;
    for (int i = 0; i < Painter::livePanes; ++i) {
        live.push_back(&panes[static_cast<std::size_t>(i)]->surface());
    }
    const std::string png = (scratch.path() / "five-panes.png").string();
    ASSERT_TRUE(saveSurfacesPng(live, png));
    if (const char* dir = std::getenv("TRELMONT_SCREENSHOT_DIR"); dir != nullptr && *dir != '\0') {
        std::filesystem::create_directories(dir);
        EXPECT_TRUE(
            saveSurfacesPng(live, (std::filesystem::path(dir) / "five-panes.png").string()));
    }

    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE("pane " + std::to_string(i));
        const TraceShape shape = traceShape(*live[static_cast<std::size_t>(i)]);
        // From the pane's left edge to its right, without a break.
        EXPECT_LE(shape.firstColumn, 4);
        EXPECT_GE(shape.lastColumn, paneWidth - 8);
        EXPECT_EQ(shape.emptyColumns, 0);
        // Inside the pane and never pressed against its top or its bottom
        // (a clamped trace would run along row 0 or row 122).
        EXPECT_GT(shape.topRow, 0);
        EXPECT_LT(shape.bottomRow, paneHeight - 2);
        // Mostly on the baseline, with the R waves standing well above it at
        // the heart's rate.
        EXPECT_NEAR(shape.medianRow, baselineRow, 10);
        EXPECT_LE(shape.topRow, shape.medianRow - 18);
        // A beat cut by the pane's edge may not count.
        EXPECT_GE(shape.peaks, static_cast<int>(beatsPerPane) - 1);
        EXPECT_LE(shape.peaks, static_cast<int>(beatsPerPane) + 1);
    }
    for (int i = 3; i < Painter::livePanes; ++i) {
        EXPECT_EQ(traceShape(*live[static_cast<std::size_t>(i)]).pixels, 0) << "pane " << i;
    }

    // A PNG of the five panes one below the other, two pixels apart.
    const std::string bytes = testsupport::readFile(png);
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(bigEndian32(bytes, 16), static_cast<std::uint32_t>(paneWidth));
    EXPECT_EQ(bigEndian32(bytes, 20), static_cast<std::uint32_t>(5 * (paneHeight + 2)));
}

}  // namespace
}  // namespace acquisition
