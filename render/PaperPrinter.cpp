#include "PaperPrinter.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "TraceMapping.h"

namespace render {

namespace {

constexpr double millimetresPerInch = 25.4;
constexpr double minorLineWidth = 0.1;
constexpr double majorLineWidth = 0.2;
constexpr double traceWidth = 0.25;
constexpr double headerTextHeight = 3.2;
constexpr double headerLineSpacing = 5.0;
constexpr double labelTextHeight = 2.8;
// Within the lead-in: where the pulse rises, and where the label begins.
constexpr double pulseStart = 3.0;
constexpr double labelStart = 1.0;
// The bar that marks a stretch without tone: its thickness, and how far its
// middle lies above the foot of the band.
constexpr double markWidth = 1.0;
constexpr double markRaise = 0.6;

}  // namespace

PaperPrinter::PaperPrinter(platform::PrinterSurface& printer)
    : printer_(printer),
      pixelsPerMillimetre_(printer.dotsPerInch() / millimetresPerInch),
      layout_(printer.width() / pixelsPerMillimetre_, printer.height() / pixelsPerMillimetre_) {}

int PaperPrinter::pixels(double millimetres) const {
    // A value far off the scale (a record may hold 1e300, or no number at
    // all) is drawn far off the paper, where the clip cuts it.
    constexpr double farAway = 1e4;
    const double bounded =
        std::isnan(millimetres) ? farAway : std::clamp(millimetres, -farAway, farAway);
    return static_cast<int>(std::lround(bounded * pixelsPerMillimetre_));
}

platform::Point PaperPrinter::at(double x, double y) const {
    return {pixels(x), pixels(y)};
}

double PaperPrinter::stripLength(int count, double valuesPerSecond, double lostSeconds) {
    return PaperLayout::leadIn + std::max(count, 0) * paperSpeed / valuesPerSecond +
           lostSeconds * paperSpeed;
}

double PaperPrinter::pointX(int i, double step, std::span<const PaperBreak> breaks) {
    double x = i * step;
    for (const PaperBreak& gap : breaks) {
        x += gap.at <= i ? gap.seconds * paperSpeed : 0.0;
    }
    return x;
}

double PaperPrinter::baselineLevel(std::span<const double> values) {
    // The median: an unfiltered recording wanders with breathing and the
    // electrodes, and a fixed level would push such a strip out of its band;
    // unlike the mean, the median is not lifted by tall R waves.
    std::vector<double> sorted;
    sorted.reserve(values.size());
    std::copy_if(values.begin(), values.end(), std::back_inserter(sorted),
                 [](double v) { return std::isfinite(v); });
    if (sorted.empty()) {
        return 0.0;
    }
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return *middle;
}

void PaperPrinter::drawPage(std::span<const std::string> header) const {
    drawGrid();
    double y = headerLineSpacing - 1.0;
    for (const std::string& line : header) {
        printer_.text(at(0.0, y), line, pixels(headerTextHeight));
        y += headerLineSpacing;
    }
}

void PaperPrinter::drawGrid() const {
    const double top = layout_.bandTop(0);
    const double bottom = layout_.bandsBottom();
    const auto pen = [this](int step) {
        return step % 5 == 0 ? std::pair{majorGridColour, pixels(majorLineWidth)}
                             : std::pair{minorGridColour, pixels(minorLineWidth)};
    };
    // The fine lines first, so that the strong ones lie on top where they cross.
    for (const bool major : {false, true}) {
        for (int step = 0; step <= static_cast<int>(layout_.width()); ++step) {
            if ((step % 5 == 0) == major) {
                const auto [colour, width] = pen(step);
                printer_.line(at(step, top), at(step, bottom), colour, width);
            }
        }
        for (int step = 0; top + step <= bottom; ++step) {
            if ((step % 5 == 0) == major) {
                const auto [colour, width] = pen(step);
                printer_.line(at(0.0, top + step), at(layout_.width(), top + step), colour, width);
            }
        }
    }
}

void PaperPrinter::drawPiece(const PaperLayout::Piece& piece, std::span<const double> values,
                             const PaperTrace& trace, const std::string& label,
                             std::span<const PaperMark> marks,
                             std::span<const PaperBreak> breaks) const {
    drawMarks(piece, marks, trace, breaks);
    if (piece.shift == 0.0) {
        const int band = piece.bandOnPage();
        const double bottom = layout_.bandTop(band) + layout_.bandHeight();
        printer_.text(at(labelStart, bottom - 1.5), label, pixels(labelTextHeight));
        drawPulse(pulseStart, layout_.baseline(band), trace.millimetresPerMillivolt);
    }
    drawBreakLabels(piece, trace, breaks);
    drawTrace(piece, values, trace, breaks);
}

void PaperPrinter::drawBreakLabels(const PaperLayout::Piece& piece, const PaperTrace& trace,
                                   std::span<const PaperBreak> breaks) const {
    const double step = paperSpeed / trace.valuesPerSecond;
    const double origin = PaperLayout::leadIn - piece.shift;
    const double bottom = layout_.bandTop(piece.bandOnPage()) + layout_.bandHeight();
    for (const PaperBreak& gap : breaks) {
        const double x = origin + pointX(gap.at, step, breaks);
        if (x >= 0.0 && x < layout_.width()) {
            printer_.text(at(x, bottom - 1.5), gap.label, pixels(labelTextHeight));
        }
    }
}

void PaperPrinter::drawMarks(const PaperLayout::Piece& piece, std::span<const PaperMark> marks,
                             const PaperTrace& trace, std::span<const PaperBreak> breaks) const {
    const double step = paperSpeed / trace.valuesPerSecond;
    const double origin = PaperLayout::leadIn - piece.shift;
    const int band = piece.bandOnPage();
    const double y = layout_.bandTop(band) + layout_.bandHeight() - markRaise;
    for (const PaperMark& mark : marks) {
        const double left = std::max(origin + pointX(mark.from, step, breaks), 0.0);
        const double right =
            std::min(origin + pointX(mark.to - 1, step, breaks) + step, layout_.width());
        if (right > left) {
            printer_.line(at(left, y), at(right, y),
                          mark.doubtful ? doubtfulToneColour : withoutToneColour,
                          pixels(markWidth));
        }
    }
}

void PaperPrinter::drawPulse(double left, double baseline, double millimetresPerMillivolt) const {
    const double right = left + pulseSeconds * paperSpeed;
    const double top = baseline - millimetresPerMillivolt;
    const platform::Point pulse[] = {
        at(left - 2.0, baseline), at(left, baseline),  at(left, top),
        at(right, top),           at(right, baseline), at(right + 2.0, baseline)};
    printer_.polyline(pulse, static_cast<int>(std::size(pulse)), platform::black,
                      pixels(traceWidth));
}

void PaperPrinter::drawTrace(const PaperLayout::Piece& piece, std::span<const double> values,
                             const PaperTrace& trace, std::span<const PaperBreak> breaks) const {
    const int count = static_cast<int>(values.size());
    const double step = paperSpeed / trace.valuesPerSecond;
    const double origin = PaperLayout::leadIn - piece.shift;
    const Level level{baselineLevel(values), layout_.baseline(piece.bandOnPage())};
    // Each stretch between two breaks is a line of its own.
    int from = 0;
    for (std::size_t b = 0; b <= breaks.size(); ++b) {
        const int to = b < breaks.size() ? std::clamp(breaks[b].at, from, count) : count;
        drawRun(values, from, to, origin + pointX(from, step, breaks) - from * step, trace, level);
        from = to;
    }
}

void PaperPrinter::drawRun(std::span<const double> values, int from, int to, double origin,
                           const PaperTrace& trace, const Level& level) const {
    const double step = paperSpeed / trace.valuesPerSecond;
    // The values that fall on this band, and one on either side so that the
    // trace runs on to the paper's edge.
    const int first = std::max(from, static_cast<int>(std::floor(-origin / step)) - 1);
    const int last =
        std::min(to - 1, static_cast<int>(std::ceil((layout_.width() - origin) / step)) + 1);
    if (last - first < 1) {
        return;
    }
    std::vector<platform::Point> points;
    points.reserve(static_cast<std::size_t>(last - first + 1));
    for (int i = first; i <= last; ++i) {
        const double value = values[static_cast<std::size_t>(i)];
        points.push_back(at(origin + i * step,
                            level.baseline - TraceMapping::millimetresAbove(
                                                 value, level.value, trace.millimetresPerMillivolt,
                                                 trace.valuesPerMillivolt)));
    }
    printer_.polyline(points.data(), static_cast<int>(points.size()), platform::black,
                      pixels(traceWidth));
}

}  // namespace render
