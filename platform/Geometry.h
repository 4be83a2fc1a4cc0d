#pragma once

#include <cstdint>

namespace platform {

// A rectangle as the drawing code counts it: right and bottom lie just
// outside (a 958 x 124 client area is (0, 0, 958, 124)).
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb white{255, 255, 255};
inline constexpr Rgb black{0, 0, 0};

}  // namespace platform
