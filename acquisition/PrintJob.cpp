#include "PrintJob.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>

#include "records/RecordTime.h"
#include "render/PaperPrinter.h"

namespace acquisition {

namespace {

constexpr double defaultValuesPerSecond = 48.75;

// A number as people write it ("48.75", "5"), whatever the locale says.
std::string numberText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

double valuesPerSecond(const PrintSettings& settings) {
    return settings.valuesPerSecond > 0.0 && std::isfinite(settings.valuesPerSecond)
               ? settings.valuesPerSecond
               : defaultValuesPerSecond;
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

std::string PrintJob::clockText(double seconds) {
    const long long tenths = std::llround(std::clamp(seconds, 0.0, 1e9) * 10.0);
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", tenths / 600, tenths % 600 / 10,
                  tenths % 10);
    return text;
}

std::vector<std::string> PrintJob::header(const PrintSettings& settings, int page, int pages) {
    const double rate = valuesPerSecond(settings);
    const std::string start = settings.startSeconds
                                  ? "start " + records::localIsoTime(*settings.startSeconds)
                                  : std::string("start unknown");
    const std::string gap = "      ";
    return {
        "trelmont-ecg" + gap + start + gap + "duration " +
            clockText(static_cast<double>(settings.values.size()) / rate) + gap + "page " +
            std::to_string(page) + " of " + std::to_string(pages),
        numberText(render::PaperPrinter::paperSpeed) + " mm/s" + gap +
            numberText(settings.millimetresPerMillivolt) + " mm/mV" + gap + numberText(rate) +
            " values/s" + gap + (settings.filtered ? "baseline filtered" : "unfiltered"),
        "Name: ____________________" + gap + "Date of birth: ____________",
    };
}

bool PrintJob::print(platform::PrinterSurface& printer, const PrintSettings& settings,
                     const std::atomic<bool>& cancelled) {
    if (cancelled.load() || !printer.beginDocument(documentName)) {
        return false;
    }
    const render::PaperPrinter paper(printer);
    const render::PaperTrace trace{valuesPerSecond(settings), settings.millimetresPerMillivolt};
    const int m = static_cast<int>(settings.values.size());
    const int n = settings.samplesPerStrip;
    const auto stripValues = [&](int strip) {
        const std::size_t offset = static_cast<std::size_t>(strip) * static_cast<std::size_t>(n);
        const int count = std::min(n, m - strip * n);
        return std::span<const double>(settings.values)
            .subspan(offset, static_cast<std::size_t>(count));
    };
    std::vector<double> lengths;
    for (int i = 0; i < stripCount(m, n); ++i) {
        lengths.push_back(render::PaperPrinter::stripLength(static_cast<int>(stripValues(i).size()),
                                                            trace.valuesPerSecond));
    }
    const std::vector<render::PaperLayout::Piece> pieces = paper.layout().place(lengths);
    const int pages = render::PaperLayout::pageCount(pieces);
    int page = 0;
    paper.drawPage(header(settings, page + 1, pages));
    for (const render::PaperLayout::Piece& piece : pieces) {
        if (piece.shift == 0.0 && settings.beforeStrip) {
            settings.beforeStrip(piece.strip);
        }
        if (cancelled.load()) {
            printer.abortDocument();
            return false;
        }
        if (piece.page() > page) {
            page = piece.page();
            if (!printer.newPage()) {
                printer.abortDocument();
                return false;
            }
            paper.drawPage(header(settings, page + 1, pages));
        }
        const double start = static_cast<double>(piece.strip) * n / trace.valuesPerSecond;
        paper.drawPiece(piece, stripValues(piece.strip), trace, clockText(start));
    }
    if (cancelled.load()) {
        printer.abortDocument();
        return false;
    }
    return printer.endDocument();
}

}  // namespace acquisition
