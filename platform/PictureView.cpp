#include "PictureView.h"

#include <QPainter>
#include <QPicture>

namespace platform {

PictureView::PictureView(QWidget* parent) : QWidget(parent) {}

void PictureView::setPicture(std::unique_ptr<Picture> picture) {
    picture_ = std::move(picture);
    update();
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!picture_ || picture_->width() <= 0 || picture_->height() <= 0) {
        return;
    }
    painter.scale(static_cast<double>(width()) / picture_->width(),
                  static_cast<double>(height()) / picture_->height());
    painter.drawPicture(0, 0, picture_->picture());
}

}  // namespace platform
