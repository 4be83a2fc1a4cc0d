#include "Selection.h"

#include <algorithm>

#include "CommandHandling.h"
#include "platform/ModalService.h"
#include "records/PartialSave.h"
#include "records/RecordCopy.h"
#include "records/SampleFile.h"
#include "records/Slots.h"
#include "records/UndoStore.h"

namespace app {

namespace {

constexpr int lastHomePane = 4;
constexpr int firstBandWidth = 20;

bool strictlyInside(const platform::Rect& r, int x, int y) {
    return r.left < x && x < r.right && r.top < y && y < r.bottom;
}

bool outOfView(const platform::Rect& r) {
    return r.left == -1 && r.top == -1 && r.right == -1 && r.bottom == -1;
}

// The rectangle of a band in pane rows, as the last inverted strip.
platform::Rect bandRect(const platform::Rect& pane, int from, int to) {
    return {std::min(from, to), pane.top, std::max(from, to), pane.bottom - 2};
}

void showBands(Controller& controller) {
    for (int i = 0; i < Controller::paneCount; ++i) {
        controller.pane(i).showBand();
    }
}

void startBand(Controller& controller, int p, int x, bool& paneScrollRoute) {
    render::EcgPane& pane = controller.pane(p);
    const platform::Rect& r = pane.windowRect;
    const int right = x > firstBandWidth ? x + firstBandWidth : r.right;
    controller.lastBand = bandRect(r, x, right);
    pane.selRight = right;
    pane.selLeft = x;
    paneScrollRoute = true;
}

// The drag went on to a later pane: the previous pane's band runs to its
// right edge, and a band starts at the new pane's left edge.
void moveToLaterPane(Controller& controller, int p, int x) {
    render::EcgPane& previous = controller.pane(controller.lastTrackedPane);
    previous.selRight = previous.windowRect.right;
    render::EcgPane& pane = controller.pane(p);
    const int from = pane.selRight != 0 ? pane.selRight : pane.windowRect.left;
    controller.lastBand = bandRect(pane.windowRect, from, x);
    pane.selLeft = pane.windowRect.left;
    pane.selRight = x;
}

// The drag went back to an earlier pane.
void moveToEarlierPane(Controller& controller, int p, int x) {
    render::EcgPane& previous = controller.pane(controller.lastTrackedPane);
    if (previous.selRight > previous.selLeft) {
        // A band drawn rightwards in the later pane is given up whole.
        previous.selLeft = 0;
        previous.selRight = 0;
        return;
    }
    controller.lastBand =
        bandRect(previous.windowRect, previous.selRight, previous.windowRect.left);
    previous.selRight = previous.windowRect.left;
    render::EcgPane& pane = controller.pane(p);
    pane.selLeft = pane.windowRect.right;
    pane.selRight = x;
}

void moveWithinPane(Controller& controller, int p, int x, int edge, int anchor) {
    render::EcgPane& pane = controller.pane(p);
    const platform::Rect& r = pane.windowRect;
    if (x == edge || x >= r.right || x <= r.left) {
        return;
    }
    const int from = edge > anchor ? std::max(edge, r.left) : edge;
    controller.lastBand = bandRect(r, from, x);
    pane.selRight = x;
    pane.selLeft = anchor;
}

void infoBox(const std::string& text) {
    platform::modalService().messageBox({text, "SAVE", platform::BoxIcon::Information});
}

void errorBox(const std::string& text) {
    platform::modalService().messageBox({text, "SAVE", platform::BoxIcon::Error});
}

}  // namespace

int hitTestPane(const Controller& controller, int x, int y) {
    for (int i = 0; i < Controller::paneCount; ++i) {
        const platform::Rect& r = controller.pane(i).windowRect;
        if (!outOfView(r) && strictlyInside(r, x, y)) {
            return i;
        }
    }
    if (y < controller.pane(0).homeRect.top) {
        return abovePanes;
    }
    if (y > controller.pane(lastHomePane).homeRect.bottom) {
        return belowPanes;
    }
    return besidePanes;
}

int hitTestHomePane(const Controller& controller, int x, int y) {
    for (int i = 0; i < Controller::paneCount; ++i) {
        if (strictlyInside(controller.pane(i).homeRect, x, y)) {
            return i;
        }
    }
    return -1;
}

void clearSelection(Controller& controller) {
    for (int i = 0; i < Controller::paneCount; ++i) {
        render::EcgPane& pane = controller.pane(i);
        pane.selLeft = 0;
        pane.selRight = 0;
    }
    showBands(controller);
    controller.downX = 0;
    controller.downY = 0;
    controller.upX = 0;
    controller.upY = 0;
    controller.downPane = -1;
    controller.upPane = -1;
}

void trackSelection(Controller& controller, int p, bool& paneScrollRoute, bool selecting, int x,
                    int y) {
    if (!selecting || p < 0 || p >= Controller::paneCount) {
        return;
    }
    render::EcgPane& pane = controller.pane(p);
    const platform::Rect& r = pane.windowRect;
    const int edge = pane.selRight;
    int anchor = pane.selLeft;
    if (anchor == 0) {
        anchor = r.left != 0 ? r.left : r.right;
    }
    const int last = controller.lastTrackedPane;
    const bool lastValid = last >= 0 && last < Controller::paneCount;
    if (!paneScrollRoute || !lastValid || (p != last && controller.pane(last).selRight == 0)) {
        startBand(controller, p, x, paneScrollRoute);
    } else if (strictlyInside(controller.lastBand, x, y)) {
        // Still inside the strip changed last.
    } else if (last < p) {
        moveToLaterPane(controller, p, x);
    } else if (last > p) {
        moveToEarlierPane(controller, p, x);
    } else {
        moveWithinPane(controller, p, x, edge, anchor);
    }
    controller.lastTrackedPane = p;
    showBands(controller);
}

void saveSelection(Controller& controller) {
    if (controller.decoding()) {
        // The notice band says a tone recording is being opened.
        return;
    }
    if (!controller.idle) {
        platform::modalService().messageBox({"Please STOP Recording first",
                                             "Recording is still ACTIVE ",
                                             platform::BoxIcon::Error});
        return;
    }
    if (hitTestHomePane(controller, controller.downX, controller.downY) < 0 ||
        hitTestHomePane(controller, controller.upX, controller.upY) < 0 ||
        controller.downPane < 0 || controller.upPane < 0) {
        return;
    }
    // The panes hit when the button went down and up: with the strips
    // scrolled, the stretch the user sees.
    const render::EcgPane& first =
        controller.pane(std::min(controller.downPane, controller.upPane));
    const records::LineRange range = records::markedLines(
        {controller.downPane, controller.downX}, {controller.upPane, controller.upX},
        first.clientRect().right, first.homeRect.left, first.speedFactor());
    const int slot = controller.selectedSlot();
    const records::ChangeOutcome outcome =
        records::saveStretch(range, slot, controller.painter().inference());
    switch (outcome.status) {
        case records::ChangeOutcome::Status::NotKept:
            errorBox(
                "The recording was not changed: the copy that lets Ctrl+Z undo SAVE could not "
                "be written: " +
                outcome.reason + ".");
            return;
        case records::ChangeOutcome::Status::Empty:
            infoBox("The marked stretch holds no values: the recording was not changed.");
            return;
        case records::ChangeOutcome::Status::Failed:
            errorBox("The recording was not changed: " + outcome.reason + ".");
            return;
        case records::ChangeOutcome::Status::Incomplete:
            // The stretch is the working recording now: it is shown.
            errorBox(
                "SAVE stored the stretch without its companion and facts, and left the slot "
                "as it was: " +
                outcome.reason + ".\nCtrl+Z puts the recording back as it was.");
            break;
        case records::ChangeOutcome::Status::Done:
            reportSlotCopy(outcome.slot, slot);
            break;
    }
    controller.dialog().send(platform::DialogMessage::command(resources::ids::partialSaveDone, 0,
                                                              controller.firstVisiblePane));
}

}  // namespace app
