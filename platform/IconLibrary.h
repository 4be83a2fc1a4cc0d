#pragma once

#include <QPixmap>

namespace platform {

// The program's icons by id (109, 110, 1030, 1031); a null pixmap for others.
QPixmap iconPixmap(int iconId);

}  // namespace platform
