#include "EcgPane.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "PaperPrinter.h"
#include "TraceMapping.h"
#include "TraceOffset.h"
#include "records/Companion.h"
#include "records/RecordEncoding.h"
#include "records/RecordFormat.h"
#include "records/SampleFile.h"

namespace render {

using platform::PaneSurface;
using platform::Point;

namespace {

int truncated(double v) {
    return static_cast<int>(v);
}

// A row far outside any pane stands for a value beyond it, so the later
// clamps and conversions to int are defined for every value a record may hold
// (1e300); a value that is no number at all is drawn at the bottom.
double boundedRow(double y) {
    constexpr double farAway = 1e6;
    return std::isnan(y) ? farAway : std::clamp(y, -farAway, farAway);
}

}  // namespace

EcgPane::EcgPane(int index, int width, int height, const platform::Rect& rect)
    : windowRect(rect),
      homeRect(rect),
      surface_(std::make_unique<PaneSurface>(width, height)),
      pointBuffer_(pointBufferSize),
      clientRect_{0, 0, width, height},
      index_(index),
      record_(std::make_unique<records::RecordBuffer>()) {}

bool EcgPane::traceTo(double value, Clamp clamp) {
    const platform::Rect& r = clientRect_;
    const float offset = traceOffset.load(std::memory_order_relaxed);
    // Far outside the pane every y is clamped alike; bounding it first keeps
    // the conversions to int defined for any finite value (a record may hold
    // 1e300).
    double y = boundedRow(TraceMapping::y(r, offset, gainFactor_, value));
    bool drawn = false;
    if (!started_) {
        lastY_ = truncated(y);
        started_ = true;
    } else {
        if (y < r.top) {
            y = r.top;
        }
        if (y > r.bottom) {
            y = clamp == Clamp::Bottom ? r.bottom : r.bottom - 2;
        }
        if (lastY_ < r.top) {
            lastY_ = r.top;
        }
        if (lastY_ > r.bottom) {
            lastY_ = r.bottom - 2;
        }
        pointBuffer_[0] = Point{truncated(penX_), lastY_};
        pointBuffer_[1] = Point{truncated(penX_ + speedFactor_), truncated(y)};
        surface_->polyline(pointBuffer_.data(), 2, platform::black);
        lastY_ = truncated(y);
        drawn = true;
    }
    penX_ += speedFactor_;
    return drawn;
}

int EcgPane::clampedRow(double value, Clamp clamp) const {
    const platform::Rect& r = clientRect_;
    const float offset = traceOffset.load(std::memory_order_relaxed);
    const double y = boundedRow(TraceMapping::y(r, offset, gainFactor_, value));
    if (y < r.top) {
        return r.top;
    }
    if (y > r.bottom) {
        return clamp == Clamp::Bottom ? r.bottom : r.bottom - 2;
    }
    return truncated(y);
}

bool EcgPane::traceThrough(std::span<const double> tenValues, Clamp clamp) {
    // The points lie evenly over the step, the last where the value's own
    // segment would end; a polyline through them at whole columns runs up
    // and down each column over all its points and on to the next.
    std::array<Point, 11> points{};
    std::size_t n = 0;
    if (started_) {
        points[n++] =
            Point{truncated(penX_), std::clamp(lastY_, clientRect_.top, clientRect_.bottom)};
    }
    const double step = speedFactor_ / static_cast<double>(tenValues.size());
    for (std::size_t t = 0; t < tenValues.size() && n < points.size(); ++t) {
        // The last point exactly where the next step starts: a column lost
        // to rounding between the two would leave a gap in the trace.
        const double x = t + 1 == tenValues.size() ? penX_ + speedFactor_
                                                   : penX_ + static_cast<double>(t + 1) * step;
        points[n++] = Point{truncated(x), clampedRow(tenValues[t], clamp)};
    }
    const bool drawn = started_ && n > 1;
    if (drawn) {
        surface_->polyline(points.data(), static_cast<int>(n), platform::black);
    }
    if (n > 0) {
        lastY_ = points[n - 1].y;
    }
    started_ = true;
    penX_ += speedFactor_;
    return drawn;
}

bool EcgPane::drawValue(double value, std::span<const double> tenValues) {
    const PaneSurface::Lock guard = surface_->lock();
    if (tenValues.size() == records::companionValuesPerLine) {
        return traceThrough(tenValues, Clamp::BottomMinusTwo);
    }
    return traceTo(value, Clamp::BottomMinusTwo);
}

void EcgPane::drawCompanionStretch(std::span<const double> companion, int count) {
    const PaneSurface::Lock guard = surface_->lock();
    penX_ = 0.0;
    // The first step has no point before it: it is drawn from its own first
    // point, as the values' first step sets the starting height.
    started_ = false;
    const std::size_t perValue = records::companionValuesPerLine;
    const std::size_t n =
        std::min(companion.size() / perValue, static_cast<std::size_t>(std::max(count, 0)));
    for (std::size_t i = 0; i < n; ++i) {
        const std::span<const double> ten = companion.subspan(i * perValue, perValue);
        if (!started_) {
            lastY_ = clampedRow(ten[0], Clamp::Bottom);
            started_ = true;
        }
        traceThrough(ten, Clamp::Bottom);
    }
}

void EcgPane::drawMark(double fromX, double toX, platform::Rgb colour) {
    const PaneSurface::Lock guard = surface_->lock();
    const int bottom = clientRect_.bottom - markRaise;
    const platform::Rect bar{std::max(truncated(fromX), clientRect_.left), bottom - markHeight,
                             std::min(truncated(toX), clientRect_.right), bottom};
    if (bar.right <= bar.left) {
        return;
    }
    // The paper and any mark drawn before it; never the trace.
    const platform::Rgb beneath[] = {platform::white, gridColour, PaperPrinter::withoutToneColour,
                                     PaperPrinter::doubtfulToneColour};
    surface_->paintOver(bar, colour, beneath);
}

void EcgPane::drawStretch(std::span<const double> samples, int count, std::FILE* file) {
    const PaneSurface::Lock guard = surface_->lock();
    penX_ = 0.0;
    // A stretch starts afresh: not joined to where the last drawing ended.
    started_ = false;
    const std::size_t n = std::min(samples.size(), static_cast<std::size_t>(std::max(count, 0)));
    char text[records::valueTextSize];
    for (std::size_t i = 0; i < n; ++i) {
        double v = samples[i];
        if (i + 1 < samples.size() && std::abs(samples[i + 1] - samples[i]) < 1.0) {
            v = (samples[i + 1] + samples[i]) / 2.0;
        }
        const bool wasStarted = started_;
        if (wasStarted && file != nullptr) {
            const std::size_t length = records::formatValue(v, records::LineEnd::Newline, text);
            std::fwrite(text, 1, length, file);
            std::fflush(file);
        }
        traceTo(v, Clamp::Bottom);
    }
}

void EcgPane::showBand() {
    if (selLeft <= 0 || selRight <= 0) {
        surface_->setBand(0, 0);
        return;
    }
    // The surface lies inside the pane's one-pixel border; every pane has
    // the same left edge in whatever slot it is shown.
    const int origin = homeRect.left + 1;
    surface_->setBand(selLeft - origin, selRight - origin);
}

void EcgPane::clear() {
    const PaneSurface::Lock guard = surface_->lock();
    penX_ = 0.0;
    surface_->fill(clientRect_, platform::white);
}

void EcgPane::drawPaper() {
    const PaneSurface::Lock guard = surface_->lock();
    const platform::Rect& r = clientRect_;
    for (int x = 0; x <= r.right; x += 20) {
        surface_->line({x, 0}, {x, r.bottom}, gridColour);
    }
    for (int y = 8; y < r.bottom; y += 20) {
        surface_->line({0, y}, {r.right, y}, gridColour);
    }
    for (int y = 0; y <= r.bottom; y += 4) {
        for (int x = 0; x < r.right; x += 4) {
            surface_->setPixel(x, y, gridColour);
        }
    }
}

void EcgPane::resetTrace() {
    const PaneSurface::Lock guard = surface_->lock();
    penX_ = 0.0;
    started_ = false;
}

double EcgPane::penX() const {
    const PaneSurface::Lock guard = surface_->lock();
    return penX_;
}

void EcgPane::setPenX(double x) {
    const PaneSurface::Lock guard = surface_->lock();
    penX_ = x;
}

int EcgPane::lastY() const {
    const PaneSurface::Lock guard = surface_->lock();
    return lastY_;
}

bool EcgPane::started() const {
    const PaneSurface::Lock guard = surface_->lock();
    return started_;
}

double EcgPane::speedFactor() const {
    const PaneSurface::Lock guard = surface_->lock();
    return speedFactor_;
}

double EcgPane::gainFactor() const {
    const PaneSurface::Lock guard = surface_->lock();
    return gainFactor_;
}

void EcgPane::setFactors(double speedFactor, double gainFactor) {
    const PaneSurface::Lock guard = surface_->lock();
    speedFactor_ = speedFactor;
    gainFactor_ = gainFactor;
}

}  // namespace render
