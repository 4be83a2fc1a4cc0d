#pragma once

#include <cstdio>
#include <memory>
#include <span>
#include <vector>

#include "platform/Geometry.h"
#include "platform/PaneSurface.h"
#include "records/RecordBuffer.h"
#include "render/TraceFactors.h"

namespace render {

// One of the twenty panes on which strips are drawn, with its drawing state.
// The capture worker draws into panes 0 to 4 while the user-interface thread
// may draw into any pane: every step that reads or changes penX, lastY and
// started, and draws, holds the surface's lock, so state and picture agree.
class EcgPane {
public:
    static constexpr int pointBufferSize = 8192;

    // A pane with a surface of the given client size (958 x 124 in the main
    // window) and its placement in the main window.
    EcgPane(int index, int width, int height, const platform::Rect& windowRect);
    EcgPane(const EcgPane&) = delete;
    EcgPane& operator=(const EcgPane&) = delete;

    // Draws the segment of one value that the capture worker estimated. The
    // pane's first value after a start or stop only sets the starting
    // height: true when a segment was drawn, i.e. when the value is one to
    // store.
    // With its ten companion points (`tenValues`, on the record's scale),
    // the value's step is drawn through them instead: the trace then follows
    // the whole QRS, where one value a buffer catches its peak only at times.
    bool drawValue(double value, std::span<const double> tenValues = {});

    // Draws the first `count` values of `samples` from x = 0. A value that
    // differs from its successor by less than 1 is drawn (and written) as the
    // mean of the two; the last value of `samples` has no successor and is
    // drawn as it is. Each drawn value goes to `file` as "%f\n" when given.
    void drawStretch(std::span<const double> samples, int count, std::FILE* file);
    // Draws the steps of the first `count` values from x = 0, each through
    // its ten points of `companion` (ten to a value): every pixel column
    // covers the lowest to the highest point that falls in it, joined to its
    // neighbours.
    void drawCompanionStretch(std::span<const double> companion, int count);
    // A bar along the foot of the pane from x `fromX` to `toX`, in `colour`,
    // under the trace: only the paper is painted, the trace stays as it was.
    void drawMark(double fromX, double toX, platform::Rgb colour);

    // Clears the pane to white and resets penX (the first step of the grid).
    void clear();
    // Draws the ECG paper.
    void drawPaper();
    // Starts a new trace: penX 0, started false.
    void resetTrace();

    platform::PaneSurface& surface() { return *surface_; }
    const platform::PaneSurface& surface() const { return *surface_; }
    bool hasWindow() const { return surface_ != nullptr; }

    // Drawing state (read under the surface lock when other threads draw).
    double penX() const;
    void setPenX(double x);
    int lastY() const;
    bool started() const;
    double speedFactor() const;
    double gainFactor() const;
    void setFactors(double speedFactor, double gainFactor);

    int index() const { return index_; }
    const platform::Rect& clientRect() const { return clientRect_; }
    platform::Rect windowRect{-1, -1, -1, -1};
    platform::Rect homeRect;
    int selLeft = 0;
    int selRight = 0;
    // Shows the band between selLeft and selRight (main-window x) on the
    // surface, or none when either is 0.
    void showBand();
    records::RecordBuffer& record() { return *record_; }

    static constexpr platform::Rgb gridColour{255, 150, 150};
    // The marks' thickness, and how far their lowest row lies above the
    // pane's foot.
    static constexpr int markHeight = 3;
    static constexpr int markRaise = 1;

private:
    enum class Clamp { Bottom, BottomMinusTwo };
    // The shared mapping step: returns whether a segment was drawn.
    bool traceTo(double value, Clamp clamp);
    // One value's step through its ten companion points; as traceTo, the
    // pane's first step only sets the starting height.
    bool traceThrough(std::span<const double> tenValues, Clamp clamp);
    // The row a value is drawn at, kept within the pane.
    int clampedRow(double value, Clamp clamp) const;

    std::unique_ptr<platform::PaneSurface> surface_;
    std::vector<platform::Point> pointBuffer_;
    double penX_ = 0.0;
    double speedFactor_ = factors::defaultSpeed;
    double gainFactor_ = factors::defaultGain;
    platform::Rect clientRect_;
    int index_;
    int lastY_ = -1;
    bool started_ = false;
    std::unique_ptr<records::RecordBuffer> record_;
};

}  // namespace render
