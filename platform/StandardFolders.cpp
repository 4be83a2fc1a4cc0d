#include "StandardFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

std::string documentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return (documents.isEmpty() ? QDir::homePath() : documents).toStdString();
}

}  // namespace platform
