#include "PrintJob.h"

#include <algorithm>
#include <span>

#include "render/EcgPane.h"

namespace acquisition {

namespace {

constexpr double millimetresPerInch = 25.4;

render::StripLayout layoutFor(const platform::PrinterSurface& printer,
                              const PrintSettings& settings, int strip) {
    const int bandHeight = printer.height() / PrintJob::stripsPerPage;
    const int top = (strip % PrintJob::stripsPerPage) * bandHeight;
    render::StripLayout layout;
    layout.band = {0, top, printer.width() - 1, top + bandHeight - 1};
    // A strip of n samples spans the printable width, whatever n is, so no
    // strip runs past the right edge.
    layout.pixelsPerSample =
        static_cast<double>(printer.width() - 1) / std::max(settings.samplesPerStrip, 1);
    layout.paneRect = settings.paneRect;
    layout.gainFactor = settings.gainFactor;
    layout.traceOffset = settings.traceOffset;
    // Millimetres per millivolt as on screen: a screen pixel is a quarter
    // millimetre of ECG paper.
    layout.verticalScale =
        printer.dotsPerInch() / millimetresPerInch / PrintJob::screenPixelsPerMillimetre;
    return layout;
}

}  // namespace

PrintJob::PrintJob(std::unique_ptr<platform::PrinterSurface> printer, PrintSettings settings)
    : printer_(std::move(printer)), settings_(std::move(settings)) {}

PrintJob::~PrintJob() {
    cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void PrintJob::start(std::function<void()> onFinished) {
    thread_ = std::thread([this, onFinished = std::move(onFinished)] {
        completed_.store(print(*printer_, settings_, cancelled_));
        printer_.reset();
        if (onFinished) {
            onFinished();
        }
    });
}

void PrintJob::cancel() {
    cancelled_.store(true);
}

int PrintJob::stripCount(int m, int n) {
    if (m <= 0 || n <= 0) {
        return 0;
    }
    return std::min((m + n - 1) / n, maxStrips);
}

bool PrintJob::print(platform::PrinterSurface& printer, const PrintSettings& settings,
                     const std::atomic<bool>& cancelled) {
    if (cancelled.load() || !printer.beginDocument(documentName)) {
        return false;
    }
    const int m = static_cast<int>(settings.values.size());
    const int n = settings.samplesPerStrip;
    const std::span<const double> values(settings.values);
    for (int i = 0; i < stripCount(m, n); ++i) {
        if (settings.beforeStrip) {
            settings.beforeStrip(i);
        }
        if (cancelled.load()) {
            printer.abortDocument();
            return false;
        }
        if (i > 0 && i % stripsPerPage == 0 && !printer.newPage()) {
            printer.abortDocument();
            return false;
        }
        const std::size_t offset = static_cast<std::size_t>(i) * static_cast<std::size_t>(n);
        const int count = std::min(n, m - i * n);
        render::EcgPane::printStretch(values.subspan(offset), count, printer,
                                      layoutFor(printer, settings, i));
    }
    if (cancelled.load()) {
        printer.abortDocument();
        return false;
    }
    return printer.endDocument();
}

}  // namespace acquisition
