#include "PdfExport.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdio>

#include "Controller.h"
#include "acquisition/CaptureDefaults.h"
#include "acquisition/PrintJob.h"
#include "platform/DialogUnits.h"
#include "platform/PrinterSurface.h"
#include "records/RecordBuffer.h"
#include "records/RecordEncoding.h"
#include "records/RecordTime.h"
#include "records/SampleFile.h"
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

bool isRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

int fail(const std::string& reason) {
    std::fprintf(stderr, "trelmont-ecg: %s\n", reason.c_str());
    return 1;
}

}  // namespace

int printWorkingRecordingToPdf(const std::string& path) {
    const char* working = records::SampleFile::workingFileName;
    if (!isRegularFile(working)) {
        return fail(std::string("nothing to print: there is no recording (") + working +
                    ") in this directory");
    }
    auto record = std::make_unique<records::RecordBuffer>();
    records::SampleFile::openRead(working);
    record->load(records::SampleFile{});
    if (record->count <= 0) {
        return fail(std::string("nothing to print: ") + working + " holds no values");
    }
    acquisition::PrintSettings settings;
    settings.values.assign(record->samples.begin(), record->samples.begin() + record->count);
    settings.filtered = records::decodeRecord(settings.values) == records::Encoding::Filter1000;
    acquisition::PrintJob::attachCompanion(settings, working);
    // As the window prints at its default settings: one pane's stretch to a
    // strip at the default chart speed, and the default gain.
    settings.samplesPerStrip =
        static_cast<int>((paneClientRect().right - 1) / render::factors::defaultSpeed);
    settings.valuesPerSecond = static_cast<double>(acquisition::defaults::sampleRate) /
                               acquisition::defaults::samplesPerBuffer;
    settings.millimetresPerMillivolt =
        render::TraceMapping::millimetresPerMillivolt(render::factors::defaultGain);
    settings.startSeconds =
        records::recordingStart(working, record->count, settings.valuesPerSecond);
    const std::unique_ptr<platform::PrinterSurface> printer = platform::PrinterSurface::pdf(path);
    const std::atomic<bool> cancelled{false};
    if (!acquisition::PrintJob::print(*printer, settings, cancelled)) {
        return fail("the PDF " + path + " could not be written");
    }
    return 0;
}

}  // namespace app
