#include "render/EcgPane.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "records/SampleFile.h"
#include "render/PaperPrinter.h"
#include "render/TraceMapping.h"
#include "render/TraceOffset.h"
#include "tests/support/ScratchDirectory.h"

namespace render {
namespace {

using platform::Rgb;

constexpr Rgb white{255, 255, 255};
constexpr Rgb pink{255, 150, 150};
constexpr Rgb black{0, 0, 0};

// Runs each test in a fresh directory so "REC.txt" is the test's own.
class PaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        scratch_.emplace();
        traceOffset = initialTraceOffset;
    }
    void TearDown() override {
        records::SampleFile::close();
        scratch_.reset();
    }
    // The rows of column x that are not white.
    static std::vector<int> inkRows(const EcgPane& pane, int x) {
        std::vector<int> rows;
        for (int y = 0; y < pane.surface().height(); ++y) {
            if (pane.surface().pixel(x, y) == black) {
                rows.push_back(y);
            }
        }
        return rows;
    }

    std::optional<testsupport::ScratchDirectory> scratch_;
    EcgPane pane_{0, 958, 124, {0, 0, 960, 126}};
};

TEST_F(PaneTest, PaperHasLinesEveryTwentyPixelsAndDotsEveryFour) {
    pane_.clear();
    pane_.drawPaper();
    const auto& s = pane_.surface();
    for (int x = 0; x < 958; x += 20) {
        EXPECT_EQ(s.pixel(x, 50), pink) << "vertical line at x=" << x;
    }
    for (int y = 8; y < 124; y += 20) {
        EXPECT_EQ(s.pixel(13, y), pink) << "horizontal line at y=" << y;
    }
    // Dots on the 4-pixel lattice, white between them.
    EXPECT_EQ(s.pixel(4, 4), pink);
    EXPECT_EQ(s.pixel(36, 100), pink);
    EXPECT_EQ(s.pixel(5, 5), white);
    EXPECT_EQ(s.pixel(2, 2), white);
    EXPECT_EQ(s.pixel(21, 7), white);
    // The horizontal lines start at 8, not 0.
    EXPECT_EQ(s.pixel(13, 0), white);
    EXPECT_EQ(s.pixel(13, 20), white);
    int pinkCount = 0;
    for (int y = 0; y < 124; ++y) {
        for (int x = 0; x < 958; ++x) {
            const Rgb p = s.pixel(x, y);
            ASSERT_TRUE(p == pink || p == white) << x << "," << y;
            pinkCount += p == pink ? 1 : 0;
        }
    }
    // 48 vertical and 6 horizontal lines plus the dots between them.
    EXPECT_GT(pinkCount, 48 * 124 + 6 * 958);
    EXPECT_LT(pinkCount, 48 * 124 + 6 * 958 + 958 * 124 / 16);
}

TEST_F(PaneTest, MappingPlacesValuesAroundTheOffsetBaseline) {
    const platform::Rect r{0, 0, 958, 124};
    EXPECT_DOUBLE_EQ(TraceMapping::base(r, 1.9f), 62.0 + static_cast<double>(1.9f));
    EXPECT_EQ(static_cast<int>(TraceMapping::y(r, 1.9f, 3.7, 57.2)), 87);
    EXPECT_NEAR(TraceMapping::y(r, 1.9f, 3.7, 57.2), 87.89, 0.01);
    // A value at the baseline is drawn 0.8 pixel above it at the default gain.
    const double base = TraceMapping::base(r, 1.9f);
    EXPECT_NEAR(TraceMapping::y(r, 1.9f, 3.7, base), base - 0.8, 1e-12);
    // A larger value is drawn higher.
    EXPECT_LT(TraceMapping::y(r, 1.9f, 7.4, 70.0), TraceMapping::y(r, 1.9f, 7.4, 60.0));
}

TEST_F(PaneTest, FirstLiveSampleOnlySetsTheStartingHeight) {
    EXPECT_FALSE(pane_.drawValue(57.2));
    EXPECT_TRUE(pane_.started());
    EXPECT_EQ(pane_.lastY(), 87);
    EXPECT_DOUBLE_EQ(pane_.penX(), 2.08);
    for (int x = 0; x < 10; ++x) {
        EXPECT_TRUE(inkRows(pane_, x).empty());
    }

    // The next segment joins (2, 87) to (4, y): a value to store.
    EXPECT_TRUE(pane_.drawValue(57.2));
    EXPECT_FALSE(inkRows(pane_, 2).empty());
    EXPECT_TRUE(inkRows(pane_, 1).empty());
    EXPECT_EQ(inkRows(pane_, 2).front(), 87);
}

TEST_F(PaneTest, ClampsAtTheTopAndBottom) {
    pane_.drawValue(57.2);
    pane_.drawValue(1000.0);  // far above: drawn at the top edge
    EXPECT_EQ(pane_.lastY(), 0);
    pane_.drawValue(-1000.0);  // far below: bottom - 2 on the live path
    EXPECT_EQ(pane_.lastY(), 122);

    EcgPane shown{1, 958, 124, {0, 0, 960, 126}};
    const std::vector<double> values{57.2, -1000.0, -1000.0, 57.2};
    shown.drawStretch(values, 2, nullptr);
    EXPECT_EQ(shown.lastY(), 124);  // bottom on the display path
    // Values far beyond any pane (a record may hold them) still map to the edges.
    EcgPane extreme{3, 958, 124, {0, 0, 960, 126}};
    const std::vector<double> huge{1e300, -1e300, 1e300};
    extreme.drawStretch(huge, 3, nullptr);
    EXPECT_EQ(extreme.lastY(), 0);

    // A first sample far below leaves lastY below the pane; the next segment
    // starts from bottom - 2.
    EcgPane low{2, 958, 124, {0, 0, 960, 126}};
    const std::vector<double> fall{-1000.0, 57.2, 57.2};
    low.drawStretch(fall, 2, nullptr);
    ASSERT_FALSE(inkRows(low, 2).empty());
    EXPECT_EQ(inkRows(low, 2).back(), 122);
}

TEST_F(PaneTest, DrawStretchAveragesCloseNeighboursAndWritesWhatItDraws) {
    const std::string path = "out.txt";
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    // 60.0 and 60.5 differ by less than 1: the first is drawn (and written) as
    // 60.25. 60.5 and 70.0 do not: 60.5 stays. 70.0 has no successor in the span.
    const std::vector<double> values{57.2, 60.0, 60.5, 70.0};
    pane_.drawStretch(values, 4, f);
    std::fclose(f);
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    // The first sample only sets lastY and is not written.
    EXPECT_EQ(s.str(), "60.250000\n60.500000\n70.000000\n");
    EXPECT_DOUBLE_EQ(pane_.penX(), 4 * 2.08);
}

TEST_F(PaneTest, TraceOffsetMovesTheBaseline) {
    traceOffset = 19.2f;
    pane_.drawValue(57.2);
    const int low = pane_.lastY();
    pane_.resetTrace();
    traceOffset = -9.6f;
    pane_.drawValue(57.2);
    EXPECT_GT(low, pane_.lastY());
}

// A QRS narrower than a buffer: one value a buffer may miss its peak, the
// ten points do not. Each column runs from its lowest to its highest point,
// joined to the next; the live path draws the same step the same way, and a
// pane's first step only sets where the trace starts.
TEST_F(PaneTest, CompanionStepsRunThroughEveryPointOfTheirColumns) {
    std::vector<double> companion(30, 57.2);
    companion[14] = 57.2 + 5.48;  // 1 mV, in the middle of the second step
    pane_.drawCompanionStretch(companion, 3);
    EXPECT_DOUBLE_EQ(pane_.penX(), 3 * 2.08);
    const int base =
        static_cast<int>(TraceMapping::y({0, 0, 958, 124}, initialTraceOffset, 3.7, 57.2));
    const int peak =
        static_cast<int>(TraceMapping::y({0, 0, 958, 124}, initialTraceOffset, 3.7, 57.2 + 5.48));
    // Point 14 lies at x = 2.08 + 5 * 0.208 = 3.12: column 3 covers the
    // whole climb, and the columns either side stay on the baseline.
    const std::vector<int> column = inkRows(pane_, 3);
    ASSERT_FALSE(column.empty());
    EXPECT_EQ(column.front(), peak);
    EXPECT_EQ(column.back(), base);
    EXPECT_EQ(static_cast<int>(column.size()), base - peak + 1);
    EXPECT_EQ(inkRows(pane_, 1), std::vector<int>{base});
    EXPECT_EQ(inkRows(pane_, 5), std::vector<int>{base});

    EcgPane live{1, 958, 124, {0, 0, 960, 126}};
    const std::span<const double> points(companion);
    EXPECT_FALSE(live.drawValue(57.2, points.subspan(0, 10)));
    EXPECT_TRUE(inkRows(live, 1).empty());
    EXPECT_TRUE(live.drawValue(57.2, points.subspan(10, 10)));
    EXPECT_EQ(inkRows(live, 3), column);
    // A long flat stretch has ink in every column it spans: each step is
    // joined to the last.
    EcgPane flat{2, 958, 124, {0, 0, 960, 126}};
    flat.drawCompanionStretch(std::vector<double>(4000, 57.2), 400);
    for (int x = 0; x < static_cast<int>(400 * 2.08) - 1; ++x) {
        ASSERT_EQ(inkRows(flat, x), std::vector<int>{base}) << x;
    }
    // Without its ten points a value is drawn as before.
    EXPECT_TRUE(live.drawValue(57.2, points.subspan(0, 3)));
    EXPECT_EQ(live.lastY(), base);
}

// A mark paints the paper along the foot of the pane and leaves the trace
// as it was, whether it comes before the trace or after it.
TEST_F(PaneTest, MarksPaintThePaperUnderTheTraceOnly) {
    pane_.clear();
    pane_.drawPaper();
    // A trace along row 121, through the middle of the bar.
    const double base = TraceMapping::base({0, 0, 958, 124}, initialTraceOffset);
    const double low = base - (121.5 - base + 0.8) / 3.7;
    const std::vector<double> flat{low, low, low, low, low, low};
    pane_.drawStretch(flat, 6, nullptr);
    ASSERT_EQ(inkRows(pane_, 6), std::vector<int>{121});
    const Rgb grey = PaperPrinter::withoutToneColour;
    const Rgb ochre = PaperPrinter::doubtfulToneColour;
    pane_.drawMark(0.0, 8.0, grey);
    const int foot = 124 - EcgPane::markRaise;
    for (int y = 0; y < 124; ++y) {
        const bool inBar = y >= foot - EcgPane::markHeight && y < foot && y != 121;
        EXPECT_EQ(pane_.surface().pixel(6, y) == grey, inBar) << y;
    }
    EXPECT_EQ(inkRows(pane_, 6), std::vector<int>{121});
    EXPECT_EQ(pane_.surface().pixel(8, foot - 1), white);
    // A later mark takes the earlier one's place, never the trace's.
    pane_.drawMark(4.0, 20.0, ochre);
    EXPECT_EQ(pane_.surface().pixel(6, foot - 1), ochre);
    EXPECT_EQ(pane_.surface().pixel(2, foot - 1), grey);
    EXPECT_EQ(inkRows(pane_, 6), std::vector<int>{121});
    // Beyond the pane: cut at its edge.
    pane_.drawMark(900.0, 2000.0, grey);
    EXPECT_EQ(pane_.surface().pixel(957, foot - 1), grey);
}

}  // namespace
}  // namespace render
