#include "Picture.h"

#include <QImage>
#include <QPainter>
#include <QPicture>
#include <cstdlib>

namespace platform {

namespace {

QColor toColor(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

}  // namespace

Picture::Picture(std::unique_ptr<QPicture> picture, int width, int height)
    : picture_(std::move(picture)), width_(width), height_(height) {}

Picture::~Picture() = default;

std::vector<Rgb> Picture::rasterize(int width, int height) const {
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        if (width_ > 0 && height_ > 0) {
            painter.scale(static_cast<double>(width) / width_,
                          static_cast<double>(height) / height_);
        }
        painter.drawPicture(0, 0, *picture_);
    }
    std::vector<Rgb> pixels;
    pixels.reserve(static_cast<std::size_t>(image.width()) *
                   static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            pixels.push_back({static_cast<std::uint8_t>(qRed(p)),
                              static_cast<std::uint8_t>(qGreen(p)),
                              static_cast<std::uint8_t>(qBlue(p))});
        }
    }
    return pixels;
}

struct PictureRecorder::State {
    std::unique_ptr<QPicture> picture = std::make_unique<QPicture>();
    QPainter painter;
    int width;
    int height;
};

PictureRecorder::PictureRecorder(int width, int height) : state_(std::make_unique<State>()) {
    state_->width = width;
    state_->height = height;
    state_->picture->setBoundingRect(QRect(0, 0, width, height));
    state_->painter.begin(state_->picture.get());
}

PictureRecorder::~PictureRecorder() {
    if (state_ && state_->painter.isActive()) {
        state_->painter.end();
    }
}

void PictureRecorder::fill(const Rect& rect, Rgb colour) {
    state_->painter.fillRect(QRect(rect.left, rect.top, rect.width(), rect.height()),
                             toColor(colour));
}

void PictureRecorder::line(Point from, Point to, Rgb colour) {
    if (from == to) {
        return;
    }
    // Qt draws both end points; step the end back by one pixel along the
    // line's main direction so the last pixel is left out.
    const int dx = to.x - from.x;
    const int dy = to.y - from.y;
    Point end = to;
    if (std::abs(dx) >= std::abs(dy)) {
        end.x -= dx > 0 ? 1 : -1;
    } else {
        end.y -= dy > 0 ? 1 : -1;
    }
    state_->painter.setPen(QPen(toColor(colour), 0));
    state_->painter.drawLine(from.x, from.y, end.x, end.y);
}

std::unique_ptr<Picture> PictureRecorder::finish() {
    state_->painter.end();
    return std::unique_ptr<Picture>(
        new Picture(std::move(state_->picture), state_->width, state_->height));
}

}  // namespace platform
