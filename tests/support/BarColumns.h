#pragma once

#include <cstddef>
#include <string>

#include "render/EcgPane.h"
#include "render/PaperPrinter.h"

namespace testsupport {

// The bar row of each column of a pane as a string: 'w' without tone, 'd'
// doubtful, 'x' both, '.' bare paper, '#' hidden under the trace.
inline std::string barColumns(const render::EcgPane& pane) {
    const platform::PaneSurface& surface = pane.surface();
    const int lowest = surface.height() - render::EcgPane::markRaise - 1;
    std::string columns(static_cast<std::size_t>(surface.width()), '.');
    for (int x = 0; x < surface.width(); ++x) {
        char& c = columns[static_cast<std::size_t>(x)];
        for (int y = lowest - render::EcgPane::markHeight + 1; y <= lowest; ++y) {
            const platform::Rgb p = surface.pixel(x, y);
            if (p == render::PaperPrinter::withoutToneColour) {
                c = c == 'd' ? 'x' : 'w';
            } else if (p == render::PaperPrinter::doubtfulToneColour) {
                c = c == 'w' ? 'x' : 'd';
            } else if (p.r < 80 && p.g < 80 && p.b < 80 && c == '.') {
                c = '#';
            }
        }
    }
    return columns;
}

}  // namespace testsupport
