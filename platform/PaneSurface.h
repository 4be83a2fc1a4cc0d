#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Geometry.h"

class QImage;

namespace platform {

// The drawing surface of one ECG pane: an image owned by the pane that keeps
// its picture until something draws over it. Any thread may draw; every
// operation runs under the surface's own (re-entrant) mutex, which the pane
// also holds around a whole mapping-and-draw step so that the picture and the
// pane's drawing state stay consistent. Drawing never allocates: lines are set
// pixel by pixel into the image, and the widget that shows the surface learns
// of changes through a dirty flag that it polls on the user-interface thread.
class PaneSurface {
public:
    PaneSurface(int width, int height);
    ~PaneSurface();
    PaneSurface(const PaneSurface&) = delete;
    PaneSurface& operator=(const PaneSurface&) = delete;

    using Lock = std::unique_lock<std::recursive_mutex>;
    Lock lock() const { return Lock(mutex_); }

    int width() const;
    int height() const;
    Rect clientRect() const { return {0, 0, width(), height()}; }

    void fill(const Rect& rect, Rgb colour);
    // A one-pixel line from `from` towards `to`; like a classic LineTo the last
    // pixel is left out, so joined segments do not set their joints twice.
    void line(Point from, Point to, Rgb colour);
    void polyline(const Point* points, int count, Rgb colour);
    void setPixel(int x, int y, Rgb colour);
    // Inverts every pixel of the rectangle (clipped to the surface).
    void invert(const Rect& rect);

    Rgb pixel(int x, int y) const;

    // The selection band: the columns from `left` up to `right` (either order)
    // over the full height, shown inverted on top of the picture. It is not
    // drawn into the picture, so redrawing the picture keeps it and removing
    // it restores exactly what was there. left == right: no band.
    void setBand(int left, int right);
    int bandLeft() const;
    int bandRight() const;
    // A pixel as shown: the picture with the band inverted.
    Rgb shownPixel(int x, int y) const;
    bool savePng(const std::string& path) const;

    // True once after any drawing since the last call (the widget repaints then).
    bool takeDirty() { return dirty_.exchange(false, std::memory_order_acq_rel); }
    // The image, for the widget's paint under lock().
    const QImage& image() const;

private:
    void put(int x, int y, std::uint32_t argb);
    void touched() { dirty_.store(true, std::memory_order_release); }

    mutable std::recursive_mutex mutex_;
    std::unique_ptr<QImage> image_;
    int bandLeft_ = 0;
    int bandRight_ = 0;
    std::atomic<bool> dirty_{true};
};

// Writes the surfaces one below the other into one PNG (a strip overview for
// screenshots and checks).
bool saveSurfacesPng(const std::vector<const PaneSurface*>& surfaces, const std::string& path);

}  // namespace platform
