#include "QtModalService.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

#include "DialogUnits.h"
#include "TemplateControls.h"

namespace platform {

namespace {

QMessageBox::Icon toQt(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// A modal dialog built from a template; its procedure sees the commands.
class TemplateDialog final : public QDialog, public ModalDialogHandle {
public:
    explicit TemplateDialog(const DialogRequest& request) : request_(request) {
        const resources::DialogTemplate& t = *request.dialogTemplate;
        TemplateControls::shapeDialog(this, t);
        controls_ = std::make_unique<TemplateControls>(t, this, [this](const DialogMessage& m) {
            if (m.kind == DialogMessage::Kind::Command) {
                command(m.id);
            }
        });
    }

    void end(int result) override { done(result); }

protected:
    void reject() override { command(2); }

private:
    void command(int id) {
        if (request_.onCommand) {
            request_.onCommand(*this, id);
        }
    }

    const DialogRequest& request_;
    std::unique_ptr<TemplateControls> controls_;
};

}  // namespace

void QtModalService::showMessageBox(const MessageBoxRequest& request) {
    QMessageBox box(toQt(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), QMessageBox::Ok);
    box.exec();
}

bool QtModalService::showYesNo(const MessageBoxRequest& request) {
    QMessageBox box(toQt(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

namespace {

// Which of `filters` the dialog reports as selected. With its details hidden
// the dialog may report the shown text without the pattern, so a filter is
// also known by its text up to the pattern.
int chosenFilter(const QStringList& filters, const QString& selected) {
    for (qsizetype i = 0; i < filters.size(); ++i) {
        const QString& f = filters[i];
        const QString shown = f.left(f.lastIndexOf(QStringLiteral(" (")));
        if (selected == f || selected.trimmed() == shown.trimmed()) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

}  // namespace

std::optional<SaveFileChoice> QtModalService::showSaveFileDialog(const SaveFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The caller asks about an existing file itself, once, in its own words,
    // and adds the extension of the file type chosen: the name comes back as
    // typed.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    if (!request.title.empty()) {
        dialog.setWindowTitle(QString::fromStdString(request.title));
    }
    QStringList filters;
    for (const SaveFileRequest::Filter& f : request.filters) {
        filters << QString::fromStdString(f.label + " (" + f.pattern + ")");
    }
    dialog.setNameFilters(filters);
    dialog.setDirectory(QString::fromStdString(request.initialDirectory));
    dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    // Read once the dialog has closed: the type the user left selected.
    return SaveFileChoice{dialog.selectedFiles().front().toStdString(),
                          chosenFilter(filters, dialog.selectedNameFilter())};
}

std::optional<std::string> QtModalService::showOpenFileDialog(const OpenFileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setWindowTitle(QString::fromStdString(request.title));
    QStringList filters;
    for (const std::string& filter : request.filters) {
        filters << QString::fromStdString(filter);
    }
    dialog.setNameFilters(filters);
    dialog.setDirectory(QString::fromStdString(request.initialDirectory));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

std::unique_ptr<PrinterSurface> QtModalService::showPrintDialog(const PrintRequest& request) {
    auto surface = std::make_unique<PrinterSurface>();
    surface->printer().setDocName(QString::fromStdString(request.documentName));
    QPrintDialog dialog(&surface->printer(), QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) {
        return nullptr;
    }
    return surface;
}

int QtModalService::showPopupMenu(const PopupMenuRequest& request) {
    QMenu menu;
    for (const MenuItem& item : request.items) {
        QAction* action = menu.addAction(QString::fromStdString(item.text));
        action->setData(item.command);
    }
    const QAction* chosen = menu.exec(QPoint(request.screenPosition.x, request.screenPosition.y));
    return chosen == nullptr ? 0 : chosen->data().toInt();
}

int QtModalService::showDialog(const DialogRequest& request) {
    if (request.dialogTemplate == nullptr) {
        return -1;
    }
    TemplateDialog dialog(request);
    dialog.setParent(QApplication::activeWindow(), Qt::Dialog);
    return dialog.exec();
}

void QtModalService::dismissOpen() {
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        if (QApplication::activePopupWidget() == popup) {
            break;
        }
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible() && dialog->isModal()) {
            dialog->done(QDialog::Rejected);
        }
    }
}

void QtModalService::openWithDesktop(const std::string& name) {
    // Like the file manager's "open": a name without a scheme is a file in the
    // current directory.
    const QUrl url = QUrl::fromUserInput(QString::fromStdString(name), QDir::currentPath(),
                                         QUrl::AssumeLocalFile);
    QDesktopServices::openUrl(url);
}

}  // namespace platform
