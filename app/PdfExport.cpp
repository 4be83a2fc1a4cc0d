#include "PdfExport.h"

#include <atomic>
#include <cstdio>

#include "Controller.h"
#include "acquisition/CaptureDefaults.h"
#include "acquisition/PrintJob.h"
#include "platform/DialogUnits.h"
#include "platform/PrinterSurface.h"
#include "platform/RegularFile.h"
#include "records/RecordBuffer.h"
#include "records/SampleFile.h"
#include "records/StoredRecording.h"
#include "render/EcgPane.h"
#include "render/TraceFactors.h"
#include "render/TraceMapping.h"
#include "resources/DialogTemplates.h"

namespace app {

namespace {

constexpr int paneBorder = 1;

// The client rectangle of a pane of the main window at its designed size.
platform::Rect paneClientRect() {
    for (const resources::ControlTemplate& c : resources::mainDialogTemplate().controls) {
        if (c.id == resources::ids::firstPane) {
            const platform::Rect r = platform::dialogRectToPixels(c.x, c.y, c.width, c.height);
            return {0, 0, r.width() - 2 * paneBorder, r.height() - 2 * paneBorder};
        }
    }
    return {};
}

int fail(const std::string& reason) {
    std::fprintf(stderr, "trelmont-ecg: %s\n", reason.c_str());
    return 1;
}

}  // namespace

int printWorkingRecordingToPdf(const std::string& path) {
    const std::string working = records::SampleFile::workingFileName;
    if (platform::permissionBits(working) < 0) {
        return fail("nothing to print: there is no recording (" + working + ") in this directory");
    }
    // Read with the default settings where the recording has no facts.
    records::StoredRecording recording;
    const std::string reason = records::readRecording(working, records::Inference{}, recording);
    if (!reason.empty()) {
        return fail("nothing to print: " + reason);
    }
    if (recording.values.empty()) {
        return fail("nothing to print: " + working + " holds no values");
    }
    // As the window prints at its default settings: one pane's stretch to a
    // strip at the default chart speed, and the default gain; the
    // recording's own rate and scale.
    const acquisition::PrintSettings settings = acquisition::PrintJob::settingsFor(
        recording, records::RecordBuffer::capacity,
        static_cast<int>((paneClientRect().right - 1) / render::factors::defaultSpeed),
        render::TraceMapping::millimetresPerMillivolt(render::factors::defaultGain));
    const std::unique_ptr<platform::PrinterSurface> printer = platform::PrinterSurface::pdf(path);
    printer->limitModeTo(working);
    const std::atomic<bool> cancelled{false};
    if (!acquisition::PrintJob::print(*printer, settings, cancelled)) {
        return fail("the PDF " + path + " could not be written");
    }
    return 0;
}

}  // namespace app
