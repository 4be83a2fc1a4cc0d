#pragma once

#include <memory>

#include "platform/Picture.h"

namespace render {

// The tick scale beside the offset slider, recorded for a control of
// width x height: a spine on the right edge and ticks counted up from the
// bottom row. `binFor1000Hz` and `fftPoints` are the capture worker's.
std::unique_ptr<platform::Picture> drawScale(int width, int height, int binFor1000Hz,
                                             int fftPoints);

}  // namespace render
