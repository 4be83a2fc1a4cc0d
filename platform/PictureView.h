#pragma once

#include <QWidget>
#include <memory>

#include "Picture.h"

namespace platform {

// A control that shows a recorded picture stretched to its client area and
// owns it; setting a new picture replaces (and frees) the old one.
class PictureView final : public QWidget {
public:
    explicit PictureView(QWidget* parent);
    void setPicture(std::unique_ptr<Picture> picture);
    bool hasPicture() const { return picture_ != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Picture> picture_;
};

}  // namespace platform
