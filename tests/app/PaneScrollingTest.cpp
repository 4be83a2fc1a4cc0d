#include <gtest/gtest.h>

#include "MainWindowRig.h"
#include "app/PaneScrolling.h"
#include "app/Selection.h"

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

TEST_F(PaneScrollingTest, DraggingTheBoxMovesNothingAndItReturns) {
    barScroll(scroll::lineDown);
    dialog().dragThumb(platform::DialogMessage::windowBar, 9);
    expectWindowAt(1);
    EXPECT_EQ(dialog().barPosition(), 1);
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
        for (const int r : {scroll::thumbPosition, scroll::thumbTrack, scroll::endScroll, 99}) {
            EXPECT_EQ(paneScrollTarget(g, r), g);
        }
    }
}

}  // namespace
}  // namespace app::test
