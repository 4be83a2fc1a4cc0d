#include "PrinterSurface.h"

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QTemporaryFile>
#include <cstdio>
#include <vector>

namespace platform {

namespace {

constexpr int pdfResolution = 600;

}  // namespace

struct PrinterSurface::Impl {
    QPrinter printer{QPrinter::HighResolution};
    QPainter painter;
    // Where a file goes once complete, and where it is written until then.
    QString finalPath;
    QString partialPath;
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

bool PrinterSurface::beginDocument(const std::string& name) {
    QPrinter& p = impl_->printer;
    p.setDocName(QString::fromStdString(name));
    impl_->finalPath = p.outputFileName();
    if (!impl_->finalPath.isEmpty()) {
        // A fresh name beside the file, so no file of the user's is touched.
        QTemporaryFile reserve(impl_->finalPath + QStringLiteral(".XXXXXX"));
        reserve.setAutoRemove(false);
        if (!reserve.open()) {
            return false;
        }
        impl_->partialPath = reserve.fileName();
        reserve.close();
        p.setOutputFileName(impl_->partialPath);
    }
    if (!impl_->painter.begin(&p)) {
        if (!impl_->partialPath.isEmpty()) {
            QFile::remove(impl_->partialPath);
        }
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
    if (impl_->partialPath.isEmpty()) {
        return ended;
    }
    if (!ended) {
        QFile::remove(impl_->partialPath);
        return false;
    }
    // Readable as any new file is (the temporary name was private).
    QFile::setPermissions(impl_->partialPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // The complete file takes the place of whatever had its name.
    const bool moved = std::rename(QFile::encodeName(impl_->partialPath).constData(),
                                   QFile::encodeName(impl_->finalPath).constData()) == 0;
    if (!moved) {
        QFile::remove(impl_->partialPath);
    }
    impl_->partialPath.clear();
    return moved;
}

void PrinterSurface::abortDocument() {
    impl_->printer.abort();
    if (impl_->painter.isActive()) {
        impl_->painter.end();
    }
    if (!impl_->partialPath.isEmpty()) {
        QFile::remove(impl_->partialPath);
        impl_->partialPath.clear();
    }
}

}  // namespace platform
