#pragma once

#include <algorithm>
#include <vector>

#include "platform/DialogMessage.h"
#include "platform/MainDialog.h"

namespace app {

// A control that reports scroll requests (a scroll bar or the offset slider)
// together with a table of values and the index of the current one. On a
// slider the control keeps its own range of 0 to 100: the table's range and
// position are the program's alone, and thumb positions count in tenths.
template <typename T>
class ScrollTable {
public:
    static constexpr int capacity = 32;
    enum class Control { ScrollBar, Slider };

    ScrollTable(platform::MainDialog& dialog, int controlId, Control control)
        : dialog_(dialog), controlId_(controlId), control_(control) {}

    void clear() {
        values_.clear();
        position_ = 0;
        count_ = 0;
    }
    void push(T value) {
        if (static_cast<int>(values_.size()) < capacity) {
            values_.push_back(value);
        }
    }
    void setRange(int count, int page) {
        count_ = count;
        page_ = page;
        if (control_ == Control::ScrollBar) {
            dialog_.setScrollRange(controlId_, 0, count - 1);
        }
    }
    void setPosition(int position) {
        position_ = position;
        if (control_ == Control::ScrollBar) {
            dialog_.setScrollPosition(controlId_, position);
        }
    }
    T current() const {
        if (position_ < 0 || position_ >= static_cast<int>(values_.size())) {
            return T{};
        }
        return values_[static_cast<std::size_t>(position_)];
    }
    int position() const { return position_; }
    int count() const { return count_; }
    const std::vector<T>& values() const { return values_; }

    // Applies a scroll request (reported with the control's thumb position).
    void step(int request, int thumbPosition) {
        const int last = count_ - 1;
        int next = position_;
        switch (request) {
            case platform::scroll::lineUp:
                next = std::max(position_ - 1, 0);
                break;
            case platform::scroll::lineDown:
                next = std::min(position_ + 1, last);
                break;
            case platform::scroll::pageUp:
                next = std::max(position_ - page_, 0);
                break;
            case platform::scroll::pageDown:
                next = std::min(position_ + page_, last);
                break;
            case platform::scroll::thumbPosition:
            case platform::scroll::thumbTrack:
                next = control_ == Control::Slider ? thumbPosition / 10 : thumbPosition;
                break;
            case platform::scroll::top:
                next = last;
                break;
            case platform::scroll::bottom:
                next = 0;
                break;
            default:
                break;
        }
        if (control_ == Control::Slider) {
            next = std::clamp(next, 0, maxSliderIndex);
        }
        // Never an index outside the table, whatever the control reports.
        next = std::clamp(next, 0, std::max(static_cast<int>(values_.size()) - 1, 0));
        if (next != position_) {
            setPosition(next);
        }
    }

private:
    static constexpr int maxSliderIndex = 9;

    platform::MainDialog& dialog_;
    int controlId_;
    Control control_;
    std::vector<T> values_;
    int position_ = 0;
    int count_ = 0;
    int page_ = 1;
};

}  // namespace app
