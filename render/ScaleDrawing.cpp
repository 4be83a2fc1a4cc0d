#include "ScaleDrawing.h"

namespace render {

using platform::black;
using platform::Point;

std::unique_ptr<platform::Picture> drawScale(int width, int height, int binFor1000Hz,
                                             int fftPoints) {
    // The frame includes its right and bottom edges, so the spine at x = width
    // stays inside the picture when it is stretched over the control.
    platform::PictureRecorder recorder(width + 1, height + 1);
    recorder.fill({0, 0, width, height}, platform::white);
    recorder.line(Point{width, 0}, Point{width, height}, black);

    const int step = binFor1000Hz / 100;
    const int limit = fftPoints / 2;
    if (step >= 3) {
        int tick = 0;
        for (int y = 0; y < limit; y += step, ++tick) {
            const int r = (height - 1) - y;
            if (r <= 0) {
                break;
            }
            const int length = tick % 10 == 0 ? 6 : 3;
            recorder.line(Point{width - length, r}, Point{width, r}, black);
        }
    } else {
        for (int y = 0; y < limit; y += 5) {
            const int r = (height - 1) - y;
            if (r <= 0) {
                break;
            }
            recorder.line(Point{width - 12, r}, Point{width, r}, black);
        }
    }
    return recorder.finish();
}

}  // namespace render
