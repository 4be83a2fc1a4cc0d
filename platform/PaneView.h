#pragma once

#include <QWidget>

#include "PaneSurface.h"

namespace platform {

class ChangeNotifier;

// Shows a pane's surface. Drawing threads never touch the widget: the
// surface collects what changed and wakes the notifier, and the window then
// asks each view to refresh(), which repaints only the changed part.
class PaneView final : public QWidget {
public:
    PaneView(PaneSurface& surface, ChangeNotifier& notifier, QWidget* parent);
    ~PaneView() override;
    PaneView(const PaneView&) = delete;
    PaneView& operator=(const PaneView&) = delete;

    // On the user-interface thread: schedules a repaint of what changed.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PaneSurface& surface_;
};

}  // namespace platform
