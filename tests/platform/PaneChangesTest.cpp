#include <gtest/gtest.h>

#include "OffscreenApplicationTest.h"

#include <QImage>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/Application.h"
#include "platform/ChangeNotifier.h"
#include "platform/PaneSurface.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

class PaneChanges : public OffscreenApplicationTest {
protected:
    static void pumpFor(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            Application::processEvents(5);
        }
    }
};

// A drawing thread's changes reach the user-interface thread at most once a
// frame however many there are, and nothing runs while nothing changes.
TEST_F(PaneChanges, ChangesFromAnotherThreadAreLookedAtAtMostOnceAFrame) {
    std::atomic<int> looks{0};
    ChangeNotifier notifier([&] { looks += 1; }, nullptr);
    pumpFor(100ms);
    EXPECT_EQ(looks.load(), 0);

    std::atomic<bool> stop{false};
    std::thread drawer([&] {
        while (!stop.load()) {
            notifier.notify();
            std::this_thread::yield();
        }
    });
    const auto start = std::chrono::steady_clock::now();
    pumpFor(400ms);
    stop.store(true);
    drawer.join();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    pumpFor(100ms);
    // A screen of at most 240 frames a second would allow more; the
    // offscreen one runs at 60.
    EXPECT_GE(looks.load(), 2);
    EXPECT_LE(looks.load(), elapsed.count() / 16 + 3);

    const int settled = looks.load();
    pumpFor(200ms);
    EXPECT_EQ(looks.load(), settled);
}

// The surface names the part that changed, wakes its notifier, and forgets
// the part once it has been taken.
TEST_F(PaneChanges, ASurfaceCollectsTheChangedPartForItsView) {
    std::atomic<int> looks{0};
    ChangeNotifier notifier([&] { looks += 1; }, nullptr);
    PaneSurface surface(958, 124);
    surface.takeChanged();
    surface.setNotifier(&notifier);
    surface.line({100, 10}, {100, 40}, black);
    const Point trace[] = {{200, 60}, {202, 50}};
    surface.polyline(trace, 2, black);
    const Rect changed = surface.takeChanged();
    EXPECT_LE(changed.left, 100);
    EXPECT_GE(changed.right, 203);
    EXPECT_LE(changed.top, 10);
    EXPECT_GE(changed.bottom, 61);
    EXPECT_LE(changed.width() * changed.height(), 110 * 60);
    EXPECT_EQ(surface.takeChanged(), Rect{});
    pumpFor(50ms);
    EXPECT_EQ(looks.load(), 1);
    surface.setNotifier(nullptr);
}

// At twice the scale the picture holds four device pixels per logical
// pixel: a line of the paper stays one device pixel wide, a trace one
// logical pixel wide with smoothed edges, and the coordinates are those of
// scale 1.
TEST_F(PaneChanges, AtTwiceTheScaleLinesAreOneDevicePixelAndTracesSmooth) {
    PaneSurface surface(958, 124);
    surface.setScale(2.0);
    const QImage& image = surface.image();
    ASSERT_EQ(image.width(), 1916);
    ASSERT_EQ(image.height(), 248);
    const Rgb pink{255, 150, 150};
    surface.line({20, 0}, {20, 124}, pink);
    EXPECT_EQ(QColor(image.pixel(39, 50)), QColor(Qt::white));
    EXPECT_EQ(QColor(image.pixel(40, 50)), QColor(255, 150, 150));
    EXPECT_EQ(QColor(image.pixel(41, 50)), QColor(Qt::white));
    EXPECT_EQ(surface.pixel(20, 25), pink);

    const Point steep[] = {{300, 20}, {304, 100}};
    surface.polyline(steep, 2, black);
    int dark = 0;
    int grey = 0;
    for (int y = 40; y < 200; ++y) {
        for (int x = 590; x < 620; ++x) {
            const int r = qRed(image.pixel(x, y));
            dark += r == 0 ? 1 : 0;
            grey += r > 0 && r < 255 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 100);
    EXPECT_GT(grey, 50);
}

}  // namespace
}  // namespace platform
