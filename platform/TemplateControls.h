#pragma once

#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "DialogMessage.h"
#include "resources/DialogTemplate.h"

class QAbstractSlider;

namespace platform {

// The controls of a dialog template as Qt widgets on one parent, placed in
// pixels, in template order, with their initial state. Their signals become
// dialog messages: a button click is command (id, 0), a confirmed list choice
// is command (id, 9), scroll bar and slider actions are scroll requests with
// the classic codes. Auto radio buttons keep the classic group behaviour: a
// click checks the button and unchecks the other radio buttons of its group:
// the run of radio buttons that follow one another from a control marked as
// a group start (or from the first radio button after other controls).
class TemplateControls {
public:
    using Sink = std::function<void(const DialogMessage&)>;

    TemplateControls(const resources::DialogTemplate& dialogTemplate, QWidget* parent, Sink sink);
    TemplateControls(const TemplateControls&) = delete;
    TemplateControls& operator=(const TemplateControls&) = delete;

    // Gives a dialog window its template's title, font and fixed size.
    static void shapeDialog(QWidget* dialog, const resources::DialogTemplate& dialogTemplate);

    // The widget of a control id, or null.
    QWidget* widget(int id) const;
    // Every control, with or without an id, in template order.
    const std::vector<QWidget*>& all() const { return widgets_; }
    // The first default push button, or null.
    QWidget* defaultButton() const { return defaultButton_; }

private:
    QWidget* create(const resources::ControlTemplate& control, QWidget* parent);
    void connectButton(QWidget* widget, int id);
    void connectRadio(QWidget* widget, int id, int group);
    void connectSlider(QAbstractSlider* slider, int id, DialogMessage::Kind kind);
    void send(const DialogMessage& message) const;

    Sink sink_;
    std::vector<QWidget*> widgets_;
    std::map<int, QWidget*> byId_;
    std::multimap<int, QWidget*> radiosByGroup_;
    QWidget* defaultButton_ = nullptr;
};

// The classic request code of a Qt slider action (SliderNoAction gives -1).
int scrollRequestOf(int sliderAction);

}  // namespace platform
