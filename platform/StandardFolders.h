#pragma once

#include <string>

namespace platform {

// The user's documents folder as the desktop names it (XDG_DOCUMENTS_DIR on
// Linux, "Documents" on Windows and macOS); the home folder where none is set.
std::string documentsFolder();

}  // namespace platform
