#include "SoundTimeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace platform {

SoundTimeline::SoundTimeline(double durationSeconds) : duration_(durationSeconds) {}

double SoundTimeline::missingBefore(double start, double length, double secondsSoFar) {
    const double frameLength = std::isfinite(length) && length > 0.0 ? length : 0.0;
    if (!std::isfinite(start)) {
        // A frame without a time follows the one before it.
        clock_ += frameLength;
        return 0.0;
    }
    if (framesTimed_++ < 2) {
        if (framesTimed_ == 1) {
            firstStart_ = start;
        }
        clock_ = start + frameLength;
        return 0.0;
    }
    const double jump = start - clock_;
    const double before = ahead_;
    ahead_ = 0.0;
    if (jump < leastGapSeconds) {
        // In line, or back: the file's clock from here on.
        clock_ = start + frameLength;
        return 0.0;
    }
    clock_ += frameLength;
    if (std::fabs(jump - before) >= leastGapSeconds) {
        // Ahead for the first time: the next frame tells whether sound is
        // missing or this frame's time was rounded.
        ahead_ = jump;
        return 0.0;
    }
    clock_ += jump;
    if (!plausible(jump, start, secondsSoFar)) {
        ++jumpsNotKept_;
        largestJump_ = std::max(largestJump_, jump);
        return 0.0;
    }
    if (stretches_++ == 0) {
        firstAt_ = secondsSoFar;
    }
    missing_ += jump;
    return jump;
}

bool SoundTimeline::plausible(double jump, double start, double secondsSoFar) const {
    if (jump > maxGapSeconds) {
        return false;
    }
    const double heard = std::max(secondsSoFar - missing_, 0.0);
    if (missing_ + jump > heard + maxExtraSeconds) {
        return false;
    }
    // A header's duration is rounded; a second's grace.
    return duration_ <= 0.0 || start - firstStart_ <= duration_ + 1.0;
}

}  // namespace platform
