#include "IconLibrary.h"

#include <QByteArray>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "resources/Icons.h"

namespace platform {

namespace {

// Draws the SVG at the size asked for, so the icon is sharp at any scale.
class SvgIconEngine final : public QIconEngine {
public:
    explicit SvgIconEngine(const QByteArray& svg) : svg_(svg), renderer_(svg) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        if (mode == QIcon::Disabled) {
            painter->setOpacity(painter->opacity() * 0.4);
        }
        renderer_.render(painter, QRectF(rect));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine* clone() const override { return new SvgIconEngine(svg_); }
    bool isNull() override { return !renderer_.isValid(); }

private:
    QByteArray svg_;
    QSvgRenderer renderer_;
};

}  // namespace

QIcon programIcon(int iconId) {
    const std::string_view svg = resources::iconSvg(iconId);
    if (svg.empty()) {
        return {};
    }
    // QIcon takes the engine over.
    return QIcon(new SvgIconEngine(QByteArray(svg.data(), static_cast<qsizetype>(svg.size()))));
}

}  // namespace platform
