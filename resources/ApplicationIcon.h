#pragma once

#include <string_view>

namespace resources {

// The program's icon as SVG text: the same drawing that is installed for the
// desktop (icons/org.trelmont.ecg.svg), built into the program for its window.
std::string_view applicationIconSvg();

}  // namespace resources
