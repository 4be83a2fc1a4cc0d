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

// A drawing thread's changes reach the user-interface thread at most once
// every shortest interval however many there are, and nothing runs while
// nothing changes.
TEST_F(PaneChanges, ChangesFromAnotherThreadAreLookedAtAtMostOnceAnInterval) {
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
    pumpFor(600ms);
    stop.store(true);
    drawer.join();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    pumpFor(200ms);
    EXPECT_GE(looks.load(), 3);
    // Coarse timers may fire a little early.
    EXPECT_LE(looks.load(), elapsed / ChangeNotifier::shortestInterval + 3);

    const int settled = looks.load();
    pumpFor(300ms);
    EXPECT_EQ(looks.load(), settled);
}

// Changes that come and go at any moment, also just as a look finds nothing
// new and ends the looks, are all seen: the last look sees the last change.
TEST_F(PaneChanges, NoChangeFromAnotherThreadIsLeftUnseen) {
    std::atomic<int> made{0};
    int seen = 0;
    ChangeNotifier notifier([&] { seen = made.load(); }, nullptr);
    std::atomic<bool> stop{false};
    std::thread drawer([&] {
        unsigned pause = 1;
        for (int round = 0; round < 60 && !stop.load(); ++round) {
            made += 1;
            notifier.notify();
            // Pauses around the interval, so that looks end and start again.
            pause = (pause * 7 + 3) % 23;
            std::this_thread::sleep_for(std::chrono::milliseconds(pause * 8));
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline && (made.load() < 60 || seen != 60)) {
        Application::processEvents(5);
    }
    stop.store(true);
    drawer.join();
    EXPECT_EQ(seen, 60);
}

// What the user does on the user-interface thread is shown at once, even
// right after a look: it does not wait for the rest of the interval.
TEST_F(PaneChanges, ChangesOnTheUserInterfaceThreadAreLookedAtAtOnce) {
    int looks = 0;
    ChangeNotifier notifier([&] { looks += 1; }, nullptr);
    std::thread([&] { notifier.notify(); }).join();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (looks == 0 && std::chrono::steady_clock::now() < deadline) {
        Application::processEvents(5);
    }
    ASSERT_EQ(looks, 1);

    for (int i = 0; i < 1000; ++i) {
        notifier.notify();
    }
    Application::processEvents(0);
    EXPECT_EQ(looks, 2);
    pumpFor(300ms);
    EXPECT_EQ(looks, 2);
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
