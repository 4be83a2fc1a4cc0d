#include "ApplicationIcon.h"

#include <QByteArray>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include "resources/ApplicationIcon.h"

namespace platform {

QIcon applicationIcon() {
    const std::string_view svg = resources::applicationIconSvg();
    QSvgRenderer renderer(QByteArray(svg.data(), static_cast<qsizetype>(svg.size())));
    QIcon icon;
    if (!renderer.isValid()) {
        return icon;
    }
    // Drawn once per size, so that the small ones are rendered for their
    // size rather than scaled down from the large one.
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace platform
