#include "UnattendedBoxes.h"

#include <cstdio>

namespace app {

void UnattendedBoxes::openWithDesktop(const std::string& name) {
    std::fprintf(stderr, "[open] %s\n", name.c_str());
}

void UnattendedBoxes::showMessageBox(const platform::MessageBoxRequest& request) {
    std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    if (request.icon == platform::BoxIcon::Warning || request.icon == platform::BoxIcon::Error) {
        failures_ += 1;
    }
}

}  // namespace app
