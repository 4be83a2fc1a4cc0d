#include "ModelessDialog.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>

#include "DialogUnits.h"
#include "TemplateControls.h"

namespace platform {

class ModelessDialog::Window final : public QDialog {
public:
    Window(const resources::DialogTemplate& t, CommandHandler onCommand)
        : onCommand_(std::move(onCommand)) {
        // A title bar without a close box: the job ends only through the
        // dialog's own button.
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        TemplateControls::shapeDialog(this, t);
        controls = std::make_unique<TemplateControls>(t, this, [this](const DialogMessage& m) {
            if (m.kind == DialogMessage::Kind::Command && onCommand_) {
                onCommand_(m.id);
            }
        });
    }

    std::unique_ptr<TemplateControls> controls;

protected:
    // Escape does not end the dialog either.
    void reject() override {}

private:
    CommandHandler onCommand_;
};

ModelessDialog::ModelessDialog(const resources::DialogTemplate& dialogTemplate,
                               CommandHandler onCommand)
    : window_(std::make_unique<Window>(dialogTemplate, std::move(onCommand))) {}

ModelessDialog::~ModelessDialog() = default;

void ModelessDialog::show() {
    window_->show();
}

bool ModelessDialog::isVisible() const {
    return window_->isVisible();
}

bool ModelessDialog::hasCloseButton() const {
    return (window_->windowFlags() & Qt::WindowCloseButtonHint) != 0;
}

std::string ModelessDialog::text(int id) const {
    const QWidget* w = window_->controls->widget(id);
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text().toStdString();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text().toStdString();
    }
    return {};
}

void ModelessDialog::click(int id) {
    if (auto* button = qobject_cast<QAbstractButton*>(window_->controls->widget(id))) {
        button->click();
    }
}

}  // namespace platform
