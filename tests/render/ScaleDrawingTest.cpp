#include "render/ScaleDrawing.h"

#include <gtest/gtest.h>

namespace render {
namespace {

using platform::Rgb;

// Ticks: for the offered settings the step is 0, so the scale is ticks 12
// pixels long every 5 pixels counted up from the bottom row.
TEST(ScaleDrawing, ShortStepsGiveTwelvePixelTicksEveryFive) {
    constexpr int w = 30;
    constexpr int h = 100;
    const auto picture = drawScale(w, h, /*binFor1000Hz=*/20, /*fftPoints=*/4096);
    ASSERT_EQ(picture->width(), w + 1);
    // Rasterised over its own frame, pixel for pixel.
    const auto pixels = picture->rasterize(w + 1, h + 1);
    const auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y * (w + 1) + x)]; };
    const Rgb black{0, 0, 0};
    const Rgb white{255, 255, 255};
    for (int y = h - 1; y > 0; y -= 5) {
        EXPECT_EQ(at(w - 12, y), black) << "tick start at row " << y;
        EXPECT_EQ(at(w - 1, y), black) << "tick end at row " << y;
        EXPECT_EQ(at(w - 13, y), white) << "tick is 12 long at row " << y;
    }
    EXPECT_EQ(at(w - 5, h - 3), white);
    // The spine on the right edge.
    EXPECT_EQ(at(w, 10), black);
    EXPECT_EQ(at(w, 57), black);
}

TEST(ScaleDrawing, LongStepsMarkEveryTenthTick) {
    constexpr int w = 30;
    constexpr int h = 200;
    // A step of 3 pixels: binForFrequency(1000) of 300.
    const auto picture = drawScale(w, h, 300, 1024);
    const auto pixels = picture->rasterize(w + 1, h + 1);
    const auto at = [&](int x, int y) { return pixels[static_cast<std::size_t>(y * (w + 1) + x)]; };
    const Rgb black{0, 0, 0};
    const Rgb white{255, 255, 255};
    EXPECT_EQ(at(w - 6, h - 1), black);      // first tick: 6 long
    EXPECT_EQ(at(w - 6, h - 1 - 3), white);  // then 3 long
    EXPECT_EQ(at(w - 3, h - 1 - 3), black);
    EXPECT_EQ(at(w - 6, h - 1 - 30), black);  // every tenth: 6 long
}

}  // namespace
}  // namespace render
