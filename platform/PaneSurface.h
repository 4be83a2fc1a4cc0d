#pragma once

#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "Geometry.h"

class QImage;

namespace platform {

class ChangeNotifier;

// The drawing surface of one ECG pane: an image owned by the pane that keeps
// its picture until something draws over it. Any thread may draw; every
// operation runs under the surface's own (re-entrant) mutex, which the pane
// also holds around a whole mapping-and-draw step so that the picture and the
// pane's drawing state stay consistent. Drawing never allocates: lines are set
// pixel by pixel into the image, and the part that changed is collected for
// the widget that shows the surface, which a ChangeNotifier wakes.
//
// Coordinates are logical pixels, the same at any screen scale. The image
// itself may hold more device pixels per logical pixel (setScale): lines and
// dots of the paper stay one device pixel wide there, and the trace is drawn
// one logical pixel wide with smoothed edges.
class PaneSurface {
public:
    PaneSurface(int width, int height);
    ~PaneSurface();
    PaneSurface(const PaneSurface&) = delete;
    PaneSurface& operator=(const PaneSurface&) = delete;

    using Lock = std::unique_lock<std::recursive_mutex>;
    Lock lock() const { return Lock(mutex_); }

    int width() const { return width_; }
    int height() const { return height_; }
    // Device pixels per logical pixel. A new scale starts a white picture, so
    // it is set before anything is drawn.
    void setScale(double scale);
    double scale() const;
    Rect clientRect() const { return {0, 0, width(), height()}; }

    void fill(const Rect& rect, Rgb colour);
    // Sets the pixels of the rectangle that are one of `beneath` (the paper's
    // colours) to `colour`, leaving whatever else was drawn there as it is.
    void paintOver(const Rect& rect, Rgb colour, std::span<const Rgb> beneath);
    // A one-pixel line from `from` towards `to`; like a classic LineTo the last
    // pixel is left out, so joined segments do not set their joints twice.
    // One device pixel wide at any scale.
    void line(Point from, Point to, Rgb colour);
    // A trace: one logical pixel wide, smoothed where the scale allows it.
    void polyline(const Point* points, int count, Rgb colour);
    void setPixel(int x, int y, Rgb colour);
    // Inverts every pixel of the rectangle (clipped to the surface).
    void invert(const Rect& rect);

    Rgb pixel(int x, int y) const;  // the device pixel at a logical point's corner

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

    // Who hears of changes (null: nobody); the notifier must outlive its
    // registration here.
    void setNotifier(ChangeNotifier* notifier);
    // The logical rectangle changed since the last call, empty when none.
    Rect takeChanged();
    // The image, for the widget's paint under lock(); its device pixel ratio
    // is the scale.
    const QImage& image() const;

private:
    void put(int x, int y, std::uint32_t argb);
    void blend(int x, int y, std::uint32_t argb, double coverage);
    int device(int logical) const;
    // A logical rectangle in device pixels, cut to the image.
    Rect deviceClipped(const Rect& rect) const;
    void hairline(Point from, Point to, std::uint32_t argb);
    void smoothSegment(Point from, Point to, std::uint32_t argb);
    void touched(const Rect& rect);

    mutable std::recursive_mutex mutex_;
    int width_;
    int height_;
    double scale_ = 1.0;
    std::unique_ptr<QImage> image_;
    int bandLeft_ = 0;
    int bandRight_ = 0;
    Rect changed_;
    ChangeNotifier* notifier_ = nullptr;
};

// Writes the surfaces one below the other into one PNG (a strip overview for
// screenshots and checks).
bool saveSurfacesPng(const std::vector<const PaneSurface*>& surfaces, const std::string& path);

}  // namespace platform
