#include "QtModalService.h"

#include <QMessageBox>

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

}  // namespace

void QtModalService::messageBox(const MessageBoxRequest& request) {
    QMessageBox box(toQt(request.icon), QString::fromStdString(request.caption),
                    QString::fromStdString(request.text), QMessageBox::Ok);
    box.exec();
}

}  // namespace platform
