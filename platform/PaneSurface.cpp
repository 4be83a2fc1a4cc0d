#include "PaneSurface.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "ChangeNotifier.h"

namespace platform {

namespace {

std::uint32_t toArgb(Rgb c) {
    return qRgb(c.r, c.g, c.b);
}

std::unique_ptr<QImage> blankImage(int width, int height, double scale) {
    auto image =
        std::make_unique<QImage>(static_cast<int>(std::ceil(width * scale)),
                                 static_cast<int>(std::ceil(height * scale)), QImage::Format_RGB32);
    image->setDevicePixelRatio(scale);
    image->fill(Qt::white);
    return image;
}

Rect unite(const Rect& a, const Rect& b) {
    if (a.width() <= 0 || a.height() <= 0) {
        return b;
    }
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// The rectangle that holds both points, widened by `margin` pixels.
Rect around(Point a, Point b, int margin) {
    return {std::min(a.x, b.x) - margin, std::min(a.y, b.y) - margin,
            std::max(a.x, b.x) + 1 + margin, std::max(a.y, b.y) + 1 + margin};
}

}  // namespace

PaneSurface::PaneSurface(int width, int height)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      image_(blankImage(width_, height_, scale_)) {
    touched(clientRect());
}

PaneSurface::~PaneSurface() = default;

void PaneSurface::setScale(double scale) {
    const Lock guard = lock();
    scale = std::max(scale, 1.0);
    if (scale != scale_) {
        scale_ = scale;
        image_ = blankImage(width_, height_, scale_);
        touched(clientRect());
    }
}

double PaneSurface::scale() const {
    const Lock guard = lock();
    return scale_;
}

const QImage& PaneSurface::image() const {
    return *image_;
}

int PaneSurface::device(int logical) const {
    return scale_ == 1.0 ? logical : static_cast<int>(std::floor(logical * scale_));
}

Rect PaneSurface::deviceClipped(const Rect& rect) const {
    return {std::max(device(rect.left), 0), std::max(device(rect.top), 0),
            std::min(device(rect.right), image_->width()),
            std::min(device(rect.bottom), image_->height())};
}

void PaneSurface::put(int x, int y, std::uint32_t argb) {
    if (x < 0 || y < 0 || x >= image_->width() || y >= image_->height()) {
        return;
    }
    reinterpret_cast<QRgb*>(image_->scanLine(y))[x] = argb;
}

void PaneSurface::blend(int x, int y, std::uint32_t argb, double coverage) {
    if (x < 0 || y < 0 || x >= image_->width() || y >= image_->height() || coverage <= 0.0) {
        return;
    }
    QRgb& p = reinterpret_cast<QRgb*>(image_->scanLine(y))[x];
    const double a = std::min(coverage, 1.0);
    const auto mix = [a](int under, int over) {
        return static_cast<int>(std::lround(under + (over - under) * a));
    };
    p = qRgb(mix(qRed(p), qRed(argb)), mix(qGreen(p), qGreen(argb)), mix(qBlue(p), qBlue(argb)));
}

void PaneSurface::touched(const Rect& rect) {
    const Rect clipped{std::max(rect.left, 0), std::max(rect.top, 0), std::min(rect.right, width_),
                       std::min(rect.bottom, height_)};
    if (clipped.width() <= 0 || clipped.height() <= 0) {
        return;
    }
    changed_ = unite(changed_, clipped);
    if (notifier_ != nullptr) {
        notifier_->notify();
    }
}

void PaneSurface::setNotifier(ChangeNotifier* notifier) {
    const Lock guard = lock();
    notifier_ = notifier;
    if (notifier_ != nullptr && changed_.width() > 0) {
        notifier_->notify();
    }
}

Rect PaneSurface::takeChanged() {
    const Lock guard = lock();
    return std::exchange(changed_, Rect{});
}

void PaneSurface::fill(const Rect& rect, Rgb colour) {
    const Lock guard = lock();
    const auto [left, top, right, bottom] = deviceClipped(rect);
    const std::uint32_t argb = toArgb(colour);
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
        std::fill(row + left, row + std::max(left, right), argb);
    }
    touched(rect);
}

void PaneSurface::hairline(Point from, Point to, std::uint32_t argb) {
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
}

void PaneSurface::line(Point from, Point to, Rgb colour) {
    const Lock guard = lock();
    hairline({device(from.x), device(from.y)}, {device(to.x), device(to.y)}, toArgb(colour));
    touched(around(from, to, 0));
}

// A segment one logical pixel wide between the centres of the two logical
// pixels, in device pixels, each pixel covered as far as the stroke covers it.
// Like the hairline it leaves out the end, so that joined segments meet
// without covering their joint twice.
void PaneSurface::smoothSegment(Point from, Point to, std::uint32_t argb) {
    const double x0 = (from.x + 0.5) * scale_;
    const double y0 = (from.y + 0.5) * scale_;
    const double x1 = (to.x + 0.5) * scale_;
    const double y1 = (to.y + 0.5) * scale_;
    const bool steep = std::abs(y1 - y0) > std::abs(x1 - x0);
    // Walk along the major axis; `a` is major, `b` minor.
    const double a0 = steep ? y0 : x0;
    const double a1 = steep ? y1 : x1;
    const double b0 = steep ? x0 : y0;
    const double b1 = steep ? x1 : y1;
    if (a0 == a1) {
        return;
    }
    const double slope = (b1 - b0) / (a1 - a0);
    const double half = 0.5 * scale_ * std::sqrt(1.0 + slope * slope);
    const int step = a1 > a0 ? 1 : -1;
    // The device pixels whose centres lie in [a0, a1).
    int a = static_cast<int>(step > 0 ? std::ceil(a0 - 0.5) : std::floor(a0 - 0.5));
    for (; step > 0 ? a + 0.5 < a1 : a + 0.5 > a1; a += step) {
        const double centre = b0 + (a + 0.5 - a0) * slope;
        const int first = static_cast<int>(std::floor(centre - half));
        const int last = static_cast<int>(std::floor(centre + half));
        for (int b = first; b <= last; ++b) {
            const double coverage =
                std::min(b + 1.0, centre + half) - std::max(1.0 * b, centre - half);
            if (steep) {
                blend(b, a, argb, coverage);
            } else {
                blend(a, b, argb, coverage);
            }
        }
    }
}

void PaneSurface::polyline(const Point* points, int count, Rgb colour) {
    const Lock guard = lock();
    const std::uint32_t argb = toArgb(colour);
    for (int i = 1; i < count; ++i) {
        if (scale_ == 1.0) {
            hairline(points[i - 1], points[i], argb);
        } else {
            smoothSegment(points[i - 1], points[i], argb);
        }
        touched(around(points[i - 1], points[i], 1));
    }
}

void PaneSurface::paintOver(const Rect& rect, Rgb colour, std::span<const Rgb> beneath) {
    const Lock guard = lock();
    const auto [left, top, right, bottom] = deviceClipped(rect);
    const std::uint32_t argb = toArgb(colour);
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
        for (int x = left; x < right; ++x) {
            const bool paper = std::any_of(beneath.begin(), beneath.end(),
                                           [&](Rgb c) { return toArgb(c) == row[x]; });
            row[x] = paper ? argb : row[x];
        }
    }
    touched(rect);
}

void PaneSurface::setPixel(int x, int y, Rgb colour) {
    const Lock guard = lock();
    put(device(x), device(y), toArgb(colour));
    touched({x, y, x + 1, y + 1});
}

void PaneSurface::invert(const Rect& rect) {
    const Lock guard = lock();
    const int left = std::max(device(rect.left), 0);
    const int right = std::min(device(rect.right), image_->width());
    const int top = std::max(device(rect.top), 0);
    const int bottom = std::min(device(rect.bottom), image_->height());
    for (int y = top; y < bottom; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
        for (int x = left; x < right; ++x) {
            row[x] = (~row[x] & 0x00FFFFFFu) | 0xFF000000u;
        }
    }
    touched(rect);
}

Rgb PaneSurface::pixel(int x, int y) const {
    const Lock guard = lock();
    const QRgb p = image_->pixel(device(x), device(y));
    return {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
            static_cast<std::uint8_t>(qBlue(p))};
}

void PaneSurface::setBand(int left, int right) {
    const Lock guard = lock();
    const int lo = std::clamp(std::min(left, right), 0, width());
    const int hi = std::clamp(std::max(left, right), 0, width());
    if (lo != bandLeft_ || hi != bandRight_) {
        // Both the old and the new band are shown anew.
        const int from = bandRight_ > bandLeft_ ? std::min(bandLeft_, lo) : lo;
        const int to = bandRight_ > bandLeft_ ? std::max(bandRight_, hi) : hi;
        bandLeft_ = lo;
        bandRight_ = hi;
        touched({from, 0, std::max(to, from + 1), height_});
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
    double scale = 1.0;
    for (const PaneSurface* s : surfaces) {
        width = std::max(width, s->width());
        height += s->height() + 2;
        scale = std::max(scale, s->scale());
    }
    QImage sheet(static_cast<int>(std::ceil(std::max(width, 1) * scale)),
                 static_cast<int>(std::ceil(std::max(height, 1) * scale)), QImage::Format_RGB32);
    sheet.setDevicePixelRatio(scale);
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
