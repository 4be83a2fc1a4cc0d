#include "Selection.h"

namespace app {

namespace {

constexpr int lastHomePane = 4;

bool strictlyInside(const platform::Rect& r, int x, int y) {
    return r.left < x && x < r.right && r.top < y && y < r.bottom;
}

bool outOfView(const platform::Rect& r) {
    return r.left == -1 && r.top == -1 && r.right == -1 && r.bottom == -1;
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

void clearSelection(Controller& controller) {
    for (int i = 0; i < Controller::paneCount; ++i) {
        render::EcgPane& pane = controller.pane(i);
        pane.selLeft = 0;
        pane.selRight = 0;
    }
    controller.downX = 0;
    controller.downY = 0;
    controller.upX = 0;
    controller.upY = 0;
    controller.downPane = -1;
    controller.upPane = -1;
}

void trackSelection(Controller&, int, bool&, bool, int, int) {}

void saveSelection(Controller&, int) {}

void saveRecordedCopy(Controller&) {}

}  // namespace app
