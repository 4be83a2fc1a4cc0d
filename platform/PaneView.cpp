#include "PaneView.h"

#include <QImage>
#include <QPainter>

namespace platform {

namespace {
constexpr int pollMilliseconds = 20;
}

PaneView::PaneView(PaneSurface& surface, QWidget* parent) : QWidget(parent), surface_(surface) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Mouse input goes through to the main window, which tracks selections in
    // its own coordinates.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFixedSize(surface.width() + 2, surface.height() + 2);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (surface_.takeDirty()) {
            update();
        }
    });
    poll_.start(pollMilliseconds);
}

void PaneView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(Qt::gray);
    painter.drawRect(0, 0, width() - 1, height() - 1);
    const PaneSurface::Lock guard = surface_.lock();
    painter.drawImage(1, 1, surface_.image());
    const int left = surface_.bandLeft();
    const int right = surface_.bandRight();
    if (right > left) {
        // White XOR the picture: the band shows inverted.
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.fillRect(1 + left, 1, right - left, surface_.height(), Qt::white);
    }
}

}  // namespace platform
