#include "PaneScrolling.h"

#include "records/RecordingFacts.h"
#include "records/SampleFile.h"

#include <algorithm>

#include "acquisition/PrintJob.h"
#include "platform/DialogMessage.h"

namespace app {

namespace {

constexpr int shownPanes = acquisition::Painter::livePanes;
constexpr int lastPane = Controller::paneCount - 1;
// The largest first visible pane that fills all five slots.
constexpr int lastFullWindow = Controller::paneCount - shownPanes;
constexpr platform::Rect outOfView{-1, -1, -1, -1};

bool shownFrom(int g, int index) {
    return index >= g && index < g + shownPanes;
}

// Moves panes g ... g + 4 (those that exist) into the slots, and takes the
// panes of the old window that are not among them out of view.
void placePanes(Controller& controller, int oldG, int g) {
    platform::MainDialog& dialog = controller.dialog();
    for (int i = 0; i < Controller::paneCount; ++i) {
        render::EcgPane& pane = controller.pane(i);
        const int id = resources::ids::firstPane + i;
        if (shownFrom(g, i)) {
            const platform::Rect slot = controller.pane(i - g).homeRect;
            dialog.moveControl(id, slot);
            dialog.setVisible(id, true);
            pane.windowRect = slot;
        } else if (shownFrom(oldG, i)) {
            dialog.setVisible(id, false);
            pane.windowRect = outOfView;
        }
    }
}

}  // namespace

int paneScrollTarget(int g, int request, int position) {
    switch (request) {
        case platform::scroll::lineUp:
            return g > 0 ? g - 1 : g;
        case platform::scroll::lineDown:
            return g + shownPanes <= lastPane ? g + 1 : g;
        case platform::scroll::pageUp:
            return g >= shownPanes ? g - shownPanes : g;
        case platform::scroll::pageDown:
            return g + shownPanes < Controller::paneCount ? g + shownPanes : g;
        case platform::scroll::top:
            return 0;
        case platform::scroll::bottom:
            return lastFullWindow;
        case platform::scroll::thumbTrack:
        case platform::scroll::thumbPosition: {
            // The strips follow the thumb as it is dragged. Past the bar's
            // end (after a page down from 11 to 14) the bar shows its end, and
            // a thumb resting there leaves the window where it is.
            const int target = std::clamp(position, 0, lastFullWindow);
            return g > lastFullWindow && target == lastFullWindow ? g : target;
        }
        default:
            return g;
    }
}

void handlePaneScroll(Controller& controller, int request, int position) {
    platform::MainDialog& dialog = controller.dialog();
    const int g = controller.firstVisiblePane;
    dialog.enable(resources::ids::filter, false);
    controller.disableSlots();

    const int next = paneScrollTarget(g, request, position);
    if (next != g) {
        placePanes(controller, g, next);
        if (controller.idle) {
            controller.painter().showRecording(next);
        } else {
            // The working file grows under the worker: the strips are drawn
            // again once the recording has stopped.
            controller.redrawPending = true;
        }
    }
    // After a page down from 11 to 14 the window starts beyond the bar's last
    // position; the bar then stays at its end, and the steps go on from the
    // panes shown.
    dialog.setBarPosition(std::min(next, dialog.barMaximumPosition()));
    controller.firstVisiblePane = next;
    if (next == 0 && controller.idle) {
        dialog.enable(resources::ids::filter, true);
        controller.enableFirstSlot();
    }
}

void describePanes(Controller& controller) {
    // The working recording's own timing when its facts say it (its rate,
    // the buffers it did not store); otherwise the settings of the moment.
    records::RecordingFacts timing;
    const records::FactsReading reading =
        controller.idle ? records::readFacts(records::SampleFile::workingFileName)
                        : records::FactsReading{};
    if (reading.status == records::FactsReading::Status::Read) {
        timing = reading.facts;
    } else if (controller.samplesPerBuffer > 0) {
        timing.valuesPerSecond =
            static_cast<double>(controller.sampleRate) / controller.samplesPerBuffer;
    }
    const int values = controller.painter().samplesPerPane(0);
    if (!(timing.valuesPerSecond > 0.0) || values <= 0) {
        return;
    }
    for (int i = 0; i < Controller::paneCount; ++i) {
        const double from = timing.secondsAt(static_cast<long long>(i) * values);
        const double to = timing.secondsAt(static_cast<long long>(i + 1) * values);
        controller.dialog().describe(
            resources::ids::firstPane + i,
            acquisition::PrintJob::clockText(from) + " to " + acquisition::PrintJob::clockText(to));
    }
}

}  // namespace app
