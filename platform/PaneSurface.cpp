#include "PaneSurface.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

namespace platform {

namespace {

std::uint32_t toArgb(Rgb c) {
    return qRgb(c.r, c.g, c.b);
}

}  // namespace

PaneSurface::PaneSurface(int width, int height)
    : image_(
          std::make_unique<QImage>(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32)) {
    image_->fill(Qt::white);
}

PaneSurface::~PaneSurface() = default;

int PaneSurface::width() const {
    return image_->width();
}

int PaneSurface::height() const {
    return image_->height();
}

const QImage& PaneSurface::image() const {
    return *image_;
}

void PaneSurface::put(int x, int y, std::uint32_t argb) {
    if (x < 0 || y < 0 || x >= image_->width() || y >= image_->height()) {
        return;
    }
    reinterpret_cast<QRgb*>(image_->scanLine(y))[x] = argb;
}

void PaneSurface::fill(const Rect& rect, Rgb colour) {
    const Lock guard = lock();
    const int left = std::max(rect.left, 0);
    const int right = std::min(rect.right, width());
    const int top = std::max(rect.top, 0);
    const int bottom = std::min(rect.bottom, height());
    const std::uint32_t argb = toArgb(colour);
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
        std::fill(row + left, row + std::max(left, right), argb);
    }
    touched();
}

void PaneSurface::line(Point from, Point to, Rgb colour) {
    const Lock guard = lock();
    const std::uint32_t argb = toArgb(colour);
    // Bresenham from `from` up to, not including, `to`.
    const int dx = std::abs(to.x - from.x);
    const int dy = -std::abs(to.y - from.y);
    const int sx = from.x < to.x ? 1 : -1;
    const int sy = from.y < to.y ? 1 : -1;
    int error = dx + dy;
    int x = from.x;
    int y = from.y;
    while (x != to.x || y != to.y) {
        put(x, y, argb);
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
    touched();
}

void PaneSurface::polyline(const Point* points, int count, Rgb colour) {
    const Lock guard = lock();
    for (int i = 1; i < count; ++i) {
        line(points[i - 1], points[i], colour);
    }
}

void PaneSurface::setPixel(int x, int y, Rgb colour) {
    const Lock guard = lock();
    put(x, y, toArgb(colour));
    touched();
}

void PaneSurface::invert(const Rect& rect) {
    const Lock guard = lock();
    const int left = std::max(rect.left, 0);
    const int right = std::min(rect.right, width());
    const int top = std::max(rect.top, 0);
    const int bottom = std::min(rect.bottom, height());
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
        for (int x = left; x < right; ++x) {
            row[x] = (~row[x] & 0x00FFFFFFu) | 0xFF000000u;
        }
    }
    touched();
}

Rgb PaneSurface::pixel(int x, int y) const {
    const Lock guard = lock();
    const QRgb p = image_->pixel(x, y);
    return {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
            static_cast<std::uint8_t>(qBlue(p))};
}

void PaneSurface::setBand(int left, int right) {
    const Lock guard = lock();
    const int lo = std::clamp(std::min(left, right), 0, width());
    const int hi = std::clamp(std::max(left, right), 0, width());
    if (lo != bandLeft_ || hi != bandRight_) {
        bandLeft_ = lo;
        bandRight_ = hi;
        touched();
    }
}

int PaneSurface::bandLeft() const {
    const Lock guard = lock();
    return bandLeft_;
}

int PaneSurface::bandRight() const {
    const Lock guard = lock();
    return bandRight_;
}

Rgb PaneSurface::shownPixel(int x, int y) const {
    const Lock guard = lock();
    Rgb p = pixel(x, y);
    if (x >= bandLeft_ && x < bandRight_) {
        p = {static_cast<std::uint8_t>(255 - p.r), static_cast<std::uint8_t>(255 - p.g),
             static_cast<std::uint8_t>(255 - p.b)};
    }
    return p;
}

bool PaneSurface::savePng(const std::string& path) const {
    const Lock guard = lock();
    return image_->save(QString::fromStdString(path), "PNG");
}

bool saveSurfacesPng(const std::vector<const PaneSurface*>& surfaces, const std::string& path) {
    int width = 0;
    int height = 0;
    for (const PaneSurface* s : surfaces) {
        width = std::max(width, s->width());
        height += s->height() + 2;
    }
    QImage sheet(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    sheet.fill(Qt::darkGray);
    QPainter painter(&sheet);
    int y = 0;
    for (const PaneSurface* s : surfaces) {
        const PaneSurface::Lock guard = s->lock();
        painter.drawImage(0, y, s->image());
        y += s->height() + 2;
    }
    painter.end();
    return sheet.save(QString::fromStdString(path), "PNG");
}

}  // namespace platform
