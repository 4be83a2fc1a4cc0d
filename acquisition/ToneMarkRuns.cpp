#include "ToneMarkRuns.h"

#include <algorithm>
#include <cmath>

#include "records/RecordingFacts.h"

namespace acquisition {

void ToneMarkRuns::reset(double valuesPerSecond) {
    const auto buffersIn = [&](double seconds) {
        return std::max(1LL, static_cast<long long>(std::ceil(seconds * valuesPerSecond - 1e-9)));
    };
    withoutToneBuffers_ = buffersIn(records::RecordingFacts::shortestWithoutToneSeconds);
    doubtfulBuffers_ = buffersIn(records::RecordingFacts::shortestDoubtfulSeconds);
    quality_ = ToneQuality::good;
    length_ = 0;
    marked_ = false;
    pendingCount_ = 0;
}

void ToneMarkRuns::add(const Place& place, ToneQuality quality, const Draw& draw) {
    if (quality != quality_) {
        endRun(draw);
        quality_ = quality;
    }
    if (quality_ == ToneQuality::good) {
        return;
    }
    ++length_;
    const Mark mark = quality_ == ToneQuality::withoutTone ? Mark::withoutTone : Mark::doubtful;
    if (marked_) {
        draw(place, mark);
        return;
    }
    keep(place);
    const long long needed =
        quality_ == ToneQuality::withoutTone ? withoutToneBuffers_ : doubtfulBuffers_;
    if (length_ >= needed) {
        marked_ = true;
        for (std::size_t i = 0; i < pendingCount_; ++i) {
            draw(pending_[i], mark);
        }
        pendingCount_ = 0;
    }
}

void ToneMarkRuns::finish(const Draw& draw) {
    endRun(draw);
    quality_ = ToneQuality::good;
}

void ToneMarkRuns::endRun(const Draw& draw) {
    // Too short to be a stretch without tone, it was troubled all the same.
    if (!marked_ && quality_ == ToneQuality::withoutTone) {
        for (std::size_t i = 0; i < pendingCount_; ++i) {
            draw(pending_[i], Mark::doubtful);
        }
    }
    length_ = 0;
    marked_ = false;
    pendingCount_ = 0;
}

void ToneMarkRuns::keep(const Place& place) {
    if (pendingCount_ > 0) {
        Place& last = pending_[pendingCount_ - 1];
        if (last.pane == place.pane && place.fromX >= last.fromX && place.fromX <= last.toX + 1.0) {
            last.toX = std::max(last.toX, place.toX);
            return;
        }
    }
    if (pendingCount_ < pending_.size()) {
        pending_[pendingCount_++] = place;
        return;
    }
    // More changes of pane within a second than there is room for (settings
    // no window offers): the newest place takes the last one's.
    pending_[pending_.size() - 1] = place;
}

}  // namespace acquisition
