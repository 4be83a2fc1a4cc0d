#include "IconLibrary.h"

#include "resources/Icons.h"

namespace platform {

QPixmap iconPixmap(int iconId) {
    const char* const* data = resources::iconData(iconId);
    return data == nullptr ? QPixmap() : QPixmap(data);
}

}  // namespace platform
