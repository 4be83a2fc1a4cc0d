#include "PaneView.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "ChangeNotifier.h"

namespace platform {

namespace {
// The surface lies inside a one-pixel border.
constexpr int border = 1;
}  // namespace

PaneView::PaneView(PaneSurface& surface, ChangeNotifier& notifier, QWidget* parent)
    : QWidget(parent), surface_(surface) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Mouse input goes through to the main window, which tracks selections in
    // its own coordinates.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(surface.width() + 2 * border, surface.height() + 2 * border);
    // The picture is drawn at the screen's scale; the pane's coordinates stay
    // those of the template.
    surface_.setScale(devicePixelRatioF());
    surface_.setNotifier(&notifier);
}

PaneView::~PaneView() {
    surface_.setNotifier(nullptr);
}

void PaneView::refresh() {
    const Rect changed = surface_.takeChanged();
    if (changed.width() > 0 && changed.height() > 0) {
        repaint(changed.left + border, changed.top + border, changed.width(), changed.height());
    }
}

void PaneView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, width() - 1, height() - 1);
    const PaneSurface::Lock guard = surface_.lock();
    const QImage& image = surface_.image();
    const double scale = image.devicePixelRatio();
    // Only the part asked for is copied: a live trace changes a few pixels.
    const QRect target =
        event->rect().intersected(QRect(border, border, surface_.width(), surface_.height()));
    if (!target.isEmpty()) {
        const QRectF source((target.left() - border) * scale, (target.top() - border) * scale,
                            target.width() * scale, target.height() * scale);
        painter.drawImage(QRectF(target), image, source);
    }
    const int left = surface_.bandLeft();
    const int right = surface_.bandRight();
    if (right > left) {
        // White XOR the picture: the band shows inverted.
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(border + left, border, right - left, surface_.height(), Qt::white);
    }
}

}  // namespace platform
