#include "TemplateControls.h"

#include <QAbstractSlider>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>

#include "DialogUnits.h"
#include "PictureView.h"
#include "resources/ControlDescriptions.h"
#include "resources/DialogTemplates.h"

namespace platform {

using resources::ControlKind;
using resources::ControlTemplate;

namespace {

QRect pixelRect(const ControlTemplate& c) {
    const Rect r = dialogRectToPixels(c.x, c.y, c.width, c.height);
    return {r.left, r.top, r.width(), r.height()};
}

QLabel* makeLabel(const ControlTemplate& c, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(c.caption), parent);
    label->setWordWrap(true);
    if (c.kind == ControlKind::CentredSunkenText) {
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    } else {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    return label;
}

QFrame* makeRectangle(ControlKind kind, QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setAutoFillBackground(true);
    QPalette palette = frame->palette();
    palette.setColor(QPalette::Window, kind == ControlKind::BlackRectangle ? Qt::black : Qt::white);
    frame->setPalette(palette);
    if (kind == ControlKind::WhiteRectangle) {
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
    }
    return frame;
}

QSlider* makeTrackbar(QWidget* parent) {
    auto* slider = new QSlider(Qt::Vertical, parent);
    // A classic vertical trackbar runs from 0 at the top to 100 at the bottom.
    slider->setRange(0, 100);
    slider->setInvertedAppearance(true);
    slider->setInvertedControls(true);
    slider->setTickPosition(QSlider::NoTicks);
    return slider;
}

// A closed drop-down list is one line high; the template's height includes
// the list that drops down.
void fitDropDown(QWidget* widget) {
    auto* list = qobject_cast<QComboBox*>(widget);
    if (list != nullptr) {
        list->resize(list->width(), std::min(list->height(), list->sizeHint().height()));
    }
}

// The template's texts were laid out for a narrower font than the desktop's:
// a text that would not fit its rectangle gets a smaller size, so nothing of
// it is cut off.
void fitText(QWidget* widget) {
    auto* label = qobject_cast<QLabel*>(widget);
    if (label == nullptr || label->text().isEmpty()) {
        return;
    }
    constexpr int smallestPointSize = 5;
    QFont font = label->font();
    for (int size = font.pointSize(); size >= smallestPointSize; --size) {
        font.setPointSize(size);
        const QFontMetrics metrics(font);
        const QRect needed = metrics.boundingRect(QRect(0, 0, label->width(), 10000),
                                                  Qt::TextWordWrap, label->text());
        if (needed.height() <= label->height() && needed.width() <= label->width()) {
            break;
        }
    }
    label->setFont(font);
}

// Names, descriptions and tooltips for assistive technology and the pointer;
// a control without a name of its own is named by its caption.
void describe(QWidget* widget, int id) {
    const resources::ControlDescription d = resources::describeMainControl(id);
    if (!d.name.empty()) {
        widget->setAccessibleName(QString::fromStdString(d.name));
    }
    if (!d.description.empty()) {
        widget->setAccessibleDescription(QString::fromStdString(d.description));
    }
    if (!d.toolTip.empty()) {
        widget->setToolTip(QString::fromStdString(d.toolTip));
    }
}

}  // namespace

int scrollRequestOf(int sliderAction) {
    switch (sliderAction) {
        case QAbstractSlider::SliderSingleStepSub:
            return scroll::lineUp;
        case QAbstractSlider::SliderSingleStepAdd:
            return scroll::lineDown;
        case QAbstractSlider::SliderPageStepSub:
            return scroll::pageUp;
        case QAbstractSlider::SliderPageStepAdd:
            return scroll::pageDown;
        case QAbstractSlider::SliderMove:
            return scroll::thumbTrack;
        case QAbstractSlider::SliderToMinimum:
            return scroll::top;
        case QAbstractSlider::SliderToMaximum:
            return scroll::bottom;
        default:
            return -1;
    }
}

TemplateControls::TemplateControls(const resources::DialogTemplate& dialogTemplate, QWidget* parent,
                                   Sink sink)
    : sink_(std::move(sink)) {
    const bool mainDialog = dialogTemplate.id == resources::mainDialogTemplate().id;
    int group = 0;
    bool previousWasRadio = false;
    for (const ControlTemplate& c : dialogTemplate.controls) {
        const bool radio = c.kind == ControlKind::AutoRadioButton;
        // Radio buttons act together when they follow one another within a
        // group: the slot buttons, far from the bit-depth button that opens
        // their template group, do not uncheck it.
        if (c.group || (radio && !previousWasRadio)) {
            group += 1;
        }
        previousWasRadio = radio;
        QWidget* w = create(c, parent);
        w->setGeometry(pixelRect(c));
        fitDropDown(w);
        fitText(w);
        if (c.kind == ControlKind::GroupBox || c.kind == ControlKind::LeftText) {
            // Frames and captions let the pointer through to the controls
            // under and around them, as on the classic desktop, where a group
            // box drawn after its radio buttons does not take their clicks.
            w->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        w->setEnabled(c.enabled);
        w->setVisible(c.visible);
        if (c.id != resources::noId) {
            w->setObjectName(QString::number(c.id));
            byId_.emplace(c.id, w);
            if (mainDialog) {
                describe(w, c.id);
            }
        }
        if (c.kind == ControlKind::AutoRadioButton) {
            connectRadio(w, c.id, group);
        }
        widgets_.push_back(w);
    }
}

QWidget* TemplateControls::create(const ControlTemplate& c, QWidget* parent) {
    const QString caption = QString::fromUtf8(c.caption);
    switch (c.kind) {
        case ControlKind::PushButton:
        case ControlKind::DefaultPushButton: {
            auto* button = new QPushButton(caption, parent);
            button->setAutoDefault(false);
            if (c.kind == ControlKind::DefaultPushButton && defaultButton_ == nullptr) {
                button->setDefault(true);
                defaultButton_ = button;
            }
            connectButton(button, c.id);
            return button;
        }
        case ControlKind::AutoRadioButton: {
            auto* radio = new QRadioButton(caption, parent);
            radio->setAutoExclusive(false);
            return radio;
        }
        case ControlKind::DropDownList:
        case ControlKind::DropDownCombo: {
            auto* list = new QComboBox(parent);
            list->setEditable(c.kind == ControlKind::DropDownCombo);
            const int id = c.id;
            QObject::connect(list, &QComboBox::activated, list,
                             [this, id](int) { send(DialogMessage::command(id, 9, 0)); });
            return list;
        }
        case ControlKind::HorizontalScrollBar: {
            auto* bar = new QScrollBar(Qt::Horizontal, parent);
            connectSlider(bar, c.id, DialogMessage::Kind::HorizontalScroll);
            return bar;
        }
        case ControlKind::VerticalTrackbar: {
            QSlider* slider = makeTrackbar(parent);
            connectSlider(slider, c.id, DialogMessage::Kind::VerticalScroll);
            return slider;
        }
        case ControlKind::GroupBox:
            return new QGroupBox(caption, parent);
        case ControlKind::LeftText:
        case ControlKind::CentredSunkenText:
            return makeLabel(c, parent);
        case ControlKind::BlackRectangle:
        case ControlKind::WhiteRectangle:
            return makeRectangle(c.kind, parent);
        case ControlKind::ReadOnlyEdit: {
            auto* edit = new QLineEdit(parent);
            edit->setReadOnly(true);
            return edit;
        }
        case ControlKind::Picture:
            return new PictureView(parent);
    }
    return new QWidget(parent);
}

void TemplateControls::connectButton(QWidget* widget, int id) {
    auto* button = static_cast<QPushButton*>(widget);
    QObject::connect(button, &QPushButton::clicked, button,
                     [this, id] { send(DialogMessage::command(id, 0, 0)); });
}

void TemplateControls::connectRadio(QWidget* widget, int id, int group) {
    auto* radio = static_cast<QRadioButton*>(widget);
    radiosByGroup_.emplace(group, radio);
    QObject::connect(radio, &QRadioButton::clicked, radio, [this, radio, id, group] {
        const auto [first, last] = radiosByGroup_.equal_range(group);
        for (auto it = first; it != last; ++it) {
            static_cast<QRadioButton*>(it->second)->setChecked(it->second == radio);
        }
        send(DialogMessage::command(id, 0, 0));
    });
}

void TemplateControls::connectSlider(QAbstractSlider* slider, int id, DialogMessage::Kind kind) {
    QObject::connect(
        slider, &QAbstractSlider::actionTriggered, slider, [this, slider, id, kind](int action) {
            const int request = scrollRequestOf(action);
            if (request >= 0) {
                send(DialogMessage::scroll(kind, id, request, slider->sliderPosition()));
            }
        });
    QObject::connect(slider, &QAbstractSlider::sliderReleased, slider, [this, slider, id, kind] {
        send(DialogMessage::scroll(kind, id, scroll::thumbPosition, slider->sliderPosition()));
        send(DialogMessage::scroll(kind, id, scroll::endScroll, slider->sliderPosition()));
    });
}

void TemplateControls::shapeDialog(QWidget* dialog, const resources::DialogTemplate& t) {
    dialog->setWindowTitle(QString::fromUtf8(t.title));
    QFont dialogFont = dialog->font();
    dialogFont.setPointSize(t.pointSize);
    dialog->setFont(dialogFont);
    dialog->setFixedSize(dialogWidthToPixels(t.width), dialogHeightToPixels(t.height));
}

QWidget* TemplateControls::widget(int id) const {
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

void TemplateControls::send(const DialogMessage& message) const {
    if (sink_) {
        sink_(message);
    }
}

}  // namespace platform
