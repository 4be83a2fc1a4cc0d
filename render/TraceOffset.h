#pragma once

#include <atomic>

namespace render {

// The offset of every trace's baseline from its pane's centre line, in pixels.
// The offset slider writes it on the user-interface thread; the capture worker
// and the user-interface thread read it while drawing. 1.9 until the slider is
// first moved.
inline constexpr float initialTraceOffset = 1.9f;
inline std::atomic<float> traceOffset{initialTraceOffset};

}  // namespace render
