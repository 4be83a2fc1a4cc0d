#pragma once

#include <QIcon>

namespace platform {

// The program's button icons by id (109, 1030, 1031) as icons drawn from
// their SVG for every size and screen scale they are asked for; a null icon
// for others.
QIcon programIcon(int iconId);

}  // namespace platform
