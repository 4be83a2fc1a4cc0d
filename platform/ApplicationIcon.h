#pragma once

#include <QIcon>

namespace platform {

// The program's icon, drawn from its SVG at the sizes a desktop asks for.
QIcon applicationIcon();

}  // namespace platform
