#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "MainWindowRig.h"
#include "app/PaneScrolling.h"
#include "app/Selection.h"
#include "render/TraceOffset.h"

namespace app::test {
namespace {

namespace ids = resources::ids;
namespace scroll = platform::scroll;
constexpr platform::Rect outOfView{-1, -1, -1, -1};

class PaneScrollingTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        open();
    }
    // Scrolls with the window's bar as the user does, then checks that the
    // panes g ... g + 4 (those that exist) fill the slots, shown, and that
    // the bar shows g, or its end when g lies beyond it.
    void expectWindowAt(int g) {
        EXPECT_EQ(controller().firstVisiblePane, g);
        EXPECT_EQ(dialog().barPosition(), std::min(g, 15));
        for (int s = 0; s < 5; ++s) {
            const platform::Rect slot = controller().pane(s).homeRect;
            if (g + s > 19) {
                continue;
            }
            const render::EcgPane& pane = controller().pane(g + s);
            EXPECT_EQ(pane.windowRect, slot) << "pane " << g + s;
            EXPECT_EQ(dialog().controlRect(ids::firstPane + g + s), slot) << "pane " << g + s;
            EXPECT_TRUE(dialog().isVisible(ids::firstPane + g + s)) << "pane " << g + s;
        }
        // Every other pane has left the window, hidden, or has never been
        // shown and waits below the slots at its place in the template.
        const int belowSlots = controller().pane(4).homeRect.bottom;
        for (int i = 0; i < 20; ++i) {
            if (i >= g && i < g + 5) {
                continue;
            }
            const render::EcgPane& pane = controller().pane(i);
            const bool left =
                pane.windowRect == outOfView && !dialog().isVisible(ids::firstPane + i);
            const bool waiting = pane.windowRect == pane.homeRect && pane.homeRect.top > belowSlots;
            EXPECT_TRUE(left || waiting) << "pane " << i << " at g " << g;
        }
    }
    // The centre of display slot s.
    platform::Point slotCentre(int s) {
        const platform::Rect r = controller().pane(s).homeRect;
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
};

TEST_F(PaneScrollingTest, LineAndPageStepsMoveThePanesThroughTheSlots) {
    expectWindowAt(0);
    dialog().scrollAction(platform::DialogMessage::windowBar, scroll::lineDown);
    expectWindowAt(1);
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    EXPECT_FALSE(dialog().isEnabled(ids::firstSlot));
    EXPECT_EQ(controller().pane(0).windowRect, outOfView);

    // Line up from 1 brings pane 0 back and takes pane 5 out of view; at the
    // top, while idle, FILTER and slot 1 are usable again.
    dialog().scrollAction(platform::DialogMessage::windowBar, scroll::lineUp);
    expectWindowAt(0);
    EXPECT_EQ(controller().pane(5).windowRect, outOfView);
    EXPECT_TRUE(dialog().isEnabled(ids::filter));
    EXPECT_TRUE(dialog().isEnabled(ids::firstSlot));

    barScroll(scroll::pageDown);
    barScroll(scroll::pageDown);
    expectWindowAt(10);
    barScroll(scroll::pageDown);
    expectWindowAt(15);
    // Line down at the end changes nothing, and the box stays at the end.
    dialog().scrollAction(platform::DialogMessage::windowBar, scroll::lineDown);
    expectWindowAt(15);
    barScroll(scroll::pageUp);
    expectWindowAt(10);
}

TEST_F(PaneScrollingTest, APageDownPastTheBarsEndKeepsPanesAndBarConsistent) {
    for (int i = 0; i < 12; ++i) {
        barScroll(scroll::lineDown);
    }
    expectWindowAt(12);
    barScroll(scroll::pageDown);
    // Panes 17, 18, 19 in the top three slots; the lower two stay empty.
    expectWindowAt(17);
    EXPECT_EQ(hitTestPane(controller(), slotCentre(0).x, slotCentre(0).y), 17);
    EXPECT_EQ(hitTestPane(controller(), slotCentre(3).x, slotCentre(3).y), besidePanes);
    EXPECT_EQ(hitTestPane(controller(), slotCentre(4).x, slotCentre(4).y), besidePanes);
    // The following steps go on from the panes shown.
    barScroll(scroll::lineDown);
    expectWindowAt(17);
    barScroll(scroll::lineUp);
    expectWindowAt(16);
    barScroll(scroll::pageUp);
    expectWindowAt(11);
}

TEST_F(PaneScrollingTest, TopAndBottomAreRealJumps) {
    barScroll(scroll::bottom);
    expectWindowAt(15);
    EXPECT_EQ(controller().pane(4).windowRect, outOfView);
    barScroll(scroll::top);
    expectWindowAt(0);
    for (int i = 15; i < 20; ++i) {
        EXPECT_EQ(controller().pane(i).windowRect, outOfView);
    }
    EXPECT_TRUE(dialog().isEnabled(ids::filter));
    // The real bar's Home and End actions come the same way.
    dialog().scrollAction(platform::DialogMessage::windowBar, scroll::bottom);
    expectWindowAt(15);
}

// Deliberately unlike the classic bar, whose box could not be dragged: the
// strips follow the thumb while it moves, and it stays where it is let go.
TEST_F(PaneScrollingTest, DraggingTheThumbScrollsAsItMoves) {
    barScroll(scroll::lineDown);
    dialog().dragThumb(platform::DialogMessage::windowBar, 9);
    expectWindowAt(9);
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    dialog().dragThumb(platform::DialogMessage::windowBar, 0);
    expectWindowAt(0);
    EXPECT_TRUE(dialog().isEnabled(ids::filter));
    // Beyond the bar's end after a page down, the thumb rests at the end:
    // letting it go there leaves the window as it is; dragging it moves it.
    dialog().dragThumb(platform::DialogMessage::windowBar, 12);
    barScroll(scroll::pageDown);
    expectWindowAt(17);
    dialog().dragThumb(platform::DialogMessage::windowBar, 15);
    expectWindowAt(17);
    dialog().dragThumb(platform::DialogMessage::windowBar, 3);
    expectWindowAt(3);
}

// The wheel and the keys are the bar's requests under other names: each
// reaches the window the request would, whatever has the focus, except that
// the slider and the radio buttons keep the keys they move by.
TEST_F(PaneScrollingTest, WheelAndKeysScrollAsTheBarsRequests) {
    using Key = platform::MainDialog::Key;
    const platform::Point strip = slotCentre(2);
    const int besideClient = dialog().clientWidth() + 4;
    struct Step {
        std::function<void()> input;
        int request;
        const char* what;
    };
    const std::vector<Step> steps = {
        {[&] { dialog().turnWheel(strip.x, strip.y, -120); }, scroll::lineDown, "wheel on a strip"},
        {[&] { dialog().turnWheel(besideClient, 200, -120); }, scroll::lineDown,
         "wheel on the bar"},
        {[&] { dialog().pressKey(Key::PageDown); }, scroll::pageDown, "PageDown"},
        {[&] { dialog().pressKey(Key::Down); }, scroll::lineDown, "Down"},
        {[&] { dialog().pressKey(Key::End); }, scroll::bottom, "End"},
        {[&] { dialog().turnWheel(strip.x, strip.y, 120); }, scroll::lineUp, "wheel up"},
        {[&] { dialog().pressKey(Key::PageUp); }, scroll::pageUp, "PageUp"},
        {[&] { dialog().pressKey(Key::Up); }, scroll::lineUp, "Up"},
        {[&] { dialog().pressKey(Key::Home); }, scroll::top, "Home"},
    };
    for (const int focus : {ids::startStop, ids::saveRecorded}) {
        dialog().focus(focus);
        for (const Step& step : steps) {
            const int expected = paneScrollTarget(controller().firstVisiblePane, step.request);
            step.input();
            SCOPED_TRACE(step.what);
            expectWindowAt(expected);
        }
    }
    // Back at the top, slot 1 is usable: it keeps its arrows (which move
    // the focus on), but PageDown scrolls from it too.
    dialog().focus(ids::firstSlot);
    dialog().pressKey(Key::Down);
    expectWindowAt(0);
    dialog().focus(ids::firstSlot);
    dialog().pressKey(Key::PageDown);
    expectWindowAt(5);

    // The slider moves the traces with its keys; the strips stay.
    const int offset = dialog().scrollPosition(ids::offsetSlider);
    dialog().focus(ids::offsetSlider);
    dialog().pressKey(Key::Down);
    dialog().pressKey(Key::PageDown);
    expectWindowAt(5);
    EXPECT_NE(dialog().scrollPosition(ids::offsetSlider), offset);
    // The offset is the process's: the tests after this one start from 1.9.
    render::traceOffset.store(render::initialTraceOffset);

    // A touchpad's small turns scroll once they add up to a notch.
    dialog().turnWheel(strip.x, strip.y, -60);
    expectWindowAt(5);
    dialog().turnWheel(strip.x, strip.y, -60);
    expectWindowAt(6);
}

TEST_F(PaneScrollingTest, KeysDuringARecordingWaitForTheStopToRedraw) {
    startRecording();
    dialog().pressKey(platform::MainDialog::Key::End);
    expectWindowAt(15);
    EXPECT_TRUE(controller().redrawPending);
    dialog().pressKey(platform::MainDialog::Key::Home);
    expectWindowAt(0);
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    dialog().click(ids::startStop);
    EXPECT_FALSE(controller().redrawPending);
    EXPECT_TRUE(dialog().isEnabled(ids::firstSlot));
}

TEST_F(PaneScrollingTest, AResizeKeepsThePanesAndThePosition) {
    barScroll(scroll::pageDown);
    dialog().resizeClient(1200, 900);
    platform::Application::processEvents(20);
    EXPECT_EQ(dialog().barMaximumPosition(), 15);
    expectWindowAt(5);
}

TEST_F(PaneScrollingTest, AClickAfterAScrollHitsThePaneShownInTheSlot) {
    barScroll(scroll::lineDown);
    barScroll(scroll::lineDown);
    for (int s = 0; s < 5; ++s) {
        EXPECT_EQ(hitTestPane(controller(), slotCentre(s).x, slotCentre(s).y), 2 + s);
    }
    const platform::Rect first = controller().pane(0).homeRect;
    EXPECT_EQ(hitTestPane(controller(), 100, first.top - 5), abovePanes);
    EXPECT_EQ(hitTestPane(controller(), 100, controller().pane(4).homeRect.bottom + 5), belowPanes);
    // A press beside the panes starts no selection; one on a pane does.
    dialog().send(platform::DialogMessage::mouse(platform::DialogMessage::Kind::LeftButtonDown,
                                                 first.left - 5, first.top + 10));
    EXPECT_FALSE(shell_->selecting());
    dialog().send(platform::DialogMessage::mouse(platform::DialogMessage::Kind::LeftButtonDown,
                                                 slotCentre(1).x, slotCentre(1).y));
    EXPECT_TRUE(shell_->selecting());
    EXPECT_EQ(controller().downPane, 3);
    dialog().send(platform::DialogMessage::mouse(platform::DialogMessage::Kind::LeftButtonUp,
                                                 slotCentre(1).x,
                                                 controller().pane(4).homeRect.bottom + 5));
    EXPECT_FALSE(shell_->selecting());
    EXPECT_EQ(controller().downPane, -1);
}

TEST_F(PaneScrollingTest, ScrollingDuringARecordingNeverEnablesFilterOrSlots) {
    startRecording();
    barScroll(scroll::pageDown);
    expectWindowAt(5);
    EXPECT_TRUE(controller().redrawPending);
    barScroll(scroll::pageUp);
    expectWindowAt(0);
    EXPECT_FALSE(dialog().isEnabled(ids::filter));
    EXPECT_FALSE(dialog().isEnabled(ids::firstSlot));
    EXPECT_TRUE(controller().painter().isRecording());
    dialog().click(ids::startStop);
    EXPECT_FALSE(controller().redrawPending);
}

TEST(PaneScrollTarget, EveryRequestFromEveryFirstPane) {
    for (int g = 0; g <= 19; ++g) {
        EXPECT_EQ(paneScrollTarget(g, scroll::lineUp), g > 0 ? g - 1 : g);
        EXPECT_EQ(paneScrollTarget(g, scroll::lineDown), g <= 14 ? g + 1 : g);
        EXPECT_EQ(paneScrollTarget(g, scroll::pageUp), g >= 5 ? g - 5 : g);
        EXPECT_EQ(paneScrollTarget(g, scroll::pageDown), g <= 14 ? g + 5 : g);
        for (const int r : {scroll::endScroll, 99}) {
            EXPECT_EQ(paneScrollTarget(g, r, 3), g);
        }
        for (const int r : {scroll::thumbPosition, scroll::thumbTrack}) {
            EXPECT_EQ(paneScrollTarget(g, r, 7), 7);
            EXPECT_EQ(paneScrollTarget(g, r, 40), g > 15 ? g : 15);
            EXPECT_EQ(paneScrollTarget(g, r, -1), 0);
        }
    }
}

}  // namespace
}  // namespace app::test
