#pragma once

#include <QTimer>
#include <QWidget>

#include "PaneSurface.h"

namespace platform {

// Shows a pane's surface. Drawing threads only mark the surface dirty; the
// view looks at the flag on the user-interface thread a few dozen times a
// second and repaints when it is set, so no drawing thread ever touches a
// widget or allocates an event.
class PaneView final : public QWidget {
public:
    PaneView(PaneSurface& surface, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PaneSurface& surface_;
    QTimer poll_;
};

}  // namespace platform
