#pragma once

#include <memory>
#include <vector>

#include "Geometry.h"

class QPicture;

namespace platform {

// A recorded drawing that is replayed stretched to whatever control shows it
// (the counterpart of an enhanced metafile). Recorded by PictureRecorder.
class Picture {
public:
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // The frame the drawing was recorded in.
    int width() const { return width_; }
    int height() const { return height_; }
    // Replays the drawing stretched to width x height on white; row-major pixels.
    std::vector<Rgb> rasterize(int width, int height) const;
    const QPicture& picture() const { return *picture_; }

private:
    friend class PictureRecorder;
    Picture(std::unique_ptr<QPicture> picture, int width, int height);

    std::unique_ptr<QPicture> picture_;
    int width_;
    int height_;
};

class PictureRecorder {
public:
    PictureRecorder(int width, int height);
    ~PictureRecorder();
    PictureRecorder(const PictureRecorder&) = delete;
    PictureRecorder& operator=(const PictureRecorder&) = delete;

    void fill(const Rect& rect, Rgb colour);
    // A one-pixel line from `from` up to, not including, `to`.
    void line(Point from, Point to, Rgb colour);
    std::unique_ptr<Picture> finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
