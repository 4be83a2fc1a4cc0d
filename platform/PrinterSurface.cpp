#include "PrinterSurface.h"

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <vector>

#include "ReplacementFile.h"

namespace platform {

namespace {

constexpr int pdfResolution = 600;

}  // namespace

struct PrinterSurface::Impl {
    QPrinter printer{QPrinter::HighResolution};
    QPainter painter;
    // A file output is written under a temporary name until it is complete.
    std::unique_ptr<ReplacementFile> file;
    std::vector<std::string> modeSources;
    std::vector<QPoint> points;
};

PrinterSurface::PrinterSurface() : impl_(std::make_unique<Impl>()) {
    impl_->printer.setPageOrientation(QPageLayout::Landscape);
}

std::unique_ptr<PrinterSurface> PrinterSurface::pdf(const std::string& path,
                                                    Orientation orientation) {
    auto surface = std::make_unique<PrinterSurface>();
    QPrinter& p = surface->printer();
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setResolution(pdfResolution);
    p.setPageSize(QPageSize(QPageSize::A4));
    p.setPageOrientation(orientation == Orientation::Landscape ? QPageLayout::Landscape
                                                               : QPageLayout::Portrait);
    p.setOutputFileName(QString::fromStdString(path));
    return surface;
}

PrinterSurface::~PrinterSurface() {
    if (impl_->painter.isActive()) {
        abortDocument();
    }
}

QPrinter& PrinterSurface::printer() {
    return impl_->printer;
}

int PrinterSurface::width() const {
    return impl_->printer.pageLayout().paintRectPixels(impl_->printer.resolution()).width();
}

int PrinterSurface::height() const {
    return impl_->printer.pageLayout().paintRectPixels(impl_->printer.resolution()).height();
}

int PrinterSurface::dotsPerInch() const {
    return impl_->printer.resolution();
}

void PrinterSurface::limitModeTo(const std::string& path) {
    impl_->modeSources.push_back(path);
}

bool PrinterSurface::beginDocument(const std::string& name) {
    QPrinter& p = impl_->printer;
    p.setDocName(QString::fromStdString(name));
    const std::string path = QFile::encodeName(p.outputFileName()).toStdString();
    if (!path.empty()) {
        // A fresh name beside the file, so no file of the user's is touched.
        impl_->file = std::make_unique<ReplacementFile>(path, impl_->modeSources);
        if (!impl_->file->isOpen()) {
            impl_->file.reset();
            return false;
        }
        p.setOutputFileName(QFile::decodeName(impl_->file->temporaryPath().c_str()));
    }
    if (!impl_->painter.begin(&p)) {
        impl_->file.reset();
        return false;
    }
    // A trace that leaves its band may cross its neighbours, but not the
    // edge of what the printer can print.
    impl_->painter.setClipRect(QRect(0, 0, width(), height()));
    impl_->painter.setRenderHint(QPainter::Antialiasing, false);
    return true;
}

bool PrinterSurface::newPage() {
    return impl_->printer.newPage();
}

void PrinterSurface::line(Point from, Point to, Rgb colour, int penWidth) {
    const Point points[2] = {from, to};
    polyline(points, 2, colour, penWidth);
}

void PrinterSurface::polyline(const Point* points, int count, Rgb colour, int penWidth) {
    if (!impl_->painter.isActive() || count < 2) {
        return;
    }
    impl_->points.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        impl_->points[static_cast<std::size_t>(i)] = QPoint(points[i].x, points[i].y);
    }
    QPen pen(QColor(colour.r, colour.g, colour.b));
    pen.setWidth(std::max(1, penWidth));
    // Grid lines end exactly where they are told; a trace turns smoothly.
    pen.setCapStyle(count == 2 ? Qt::FlatCap : Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    impl_->painter.setPen(pen);
    impl_->painter.drawPolyline(impl_->points.data(), count);
}

void PrinterSurface::text(Point at, const std::string& text, int pixelHeight) {
    if (!impl_->painter.isActive()) {
        return;
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(1, pixelHeight));
    // No ligatures: "unfiltered" must stay searchable in a PDF as it is written.
    font.setStyleStrategy(QFont::PreferNoShaping);
    impl_->painter.setFont(font);
    impl_->painter.setPen(QPen(Qt::black));
    impl_->painter.drawText(QPoint(at.x, at.y), QString::fromStdString(text));
}

bool PrinterSurface::endDocument() {
    if (!impl_->painter.isActive()) {
        return false;
    }
    const bool ended = impl_->painter.end();
    if (!impl_->file) {
        return ended;
    }
    // The complete file takes the place of whatever had its name.
    const bool moved = ended && impl_->file->commit().empty();
    impl_->file.reset();
    return moved;
}

void PrinterSurface::abortDocument() {
    impl_->printer.abort();
    if (impl_->painter.isActive()) {
        impl_->painter.end();
    }
    impl_->file.reset();
}

}  // namespace platform
