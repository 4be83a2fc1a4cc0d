#include "ToneMarks.h"

#include <algorithm>
#include <cmath>

#include "records/RecordingFacts.h"

namespace acquisition {

namespace {

// How long before the judgement's first doubtful line a disturbance it
// hears has begun, as a rule: a second tone near the carrier 0.15 to 0.35 s,
// a room's echoes that set in 0.4 to 1 s (in one room in four up to 2.5 s),
// measured at the default settings. Longer, it would mark more of what
// came before a sharp disturbance than the judgement missed.
constexpr double heardLateSeconds = 0.5;

long long linesIn(double seconds, double valuesPerSecond) {
    return std::max(1LL, static_cast<long long>(std::ceil(seconds * valuesPerSecond)));
}

}  // namespace

ToneMarks::ToneMarks(double valuesPerSecond)
    : valuesPerSecond_(valuesPerSecond),
      oneSecond_(linesIn(records::RecordingFacts::shortestWithoutToneSeconds, valuesPerSecond)),
      halfSecond_(linesIn(records::RecordingFacts::shortestDoubtfulSeconds, valuesPerSecond)),
      heardLate_(linesIn(heardLateSeconds, valuesPerSecond)) {
    run_.reserve(static_cast<std::size_t>(oneSecond_));
}

void ToneMarks::reset() {
    lines_ = 0;
    listedEnd_ = 0;
    heldFrom_ = -1;
    run_.clear();
    doubtFrom_ = -1;
    doubtLast_ = -1;
    doubtBegins_ = -1;
    withoutTold_ = 0;
    doubtTold_ = 0;
    withoutTone_.clear();
    doubtful_.clear();
}

void ToneMarks::reserve(std::size_t stretches) {
    withoutTone_.reserve(stretches);
    doubtful_.reserve(stretches);
}

void ToneMarks::take(ToneQuality quality, Watcher* watcher) {
    const long long line = lines_++;
    if (quality == ToneQuality::withoutTone) {
        if (heldFrom_ < 0) {
            heldFrom_ = line;
            withoutTold_ = line;
        }
        run_.clear();
        // A second from the first line without tone to this one: the
        // stretch will be listed whatever comes, up to here at least.
        if (lines_ - heldFrom_ >= oneSecond_) {
            tell(watcher, ToneQuality::withoutTone, withoutTold_, lines_);
        }
        return;
    }
    if (heldFrom_ < 0) {
        feedDoubt(line, quality == ToneQuality::doubtful, true, watcher);
        return;
    }
    run_.push_back(quality == ToneQuality::doubtful);
    if (static_cast<long long>(run_.size()) >= oneSecond_) {
        // The tone is back for a second: the stretch without it ends where
        // this run began, and the run's lines follow it in order.
        const long long runFrom = line + 1 - static_cast<long long>(run_.size());
        closeWithout(runFrom, watcher);
        for (std::size_t i = 0; i < run_.size(); ++i) {
            feedDoubt(runFrom + static_cast<long long>(i), run_[i], true, watcher);
        }
        run_.clear();
    }
}

void ToneMarks::finish(Watcher* watcher) {
    if (heldFrom_ >= 0) {
        // Without tone to the end, what tone came back after it included.
        closeWithout(lines_, watcher);
        run_.clear();
    }
    closeDoubt();
}

double ToneMarks::secondsOf(const Stretches& stretches) const {
    long long lines = 0;
    for (const auto& [first, count] : stretches) {
        lines += count;
    }
    return static_cast<double>(lines) / valuesPerSecond_;
}

void ToneMarks::closeWithout(long long end, Watcher* watcher) {
    const long long count = end - heldFrom_;
    if (count >= oneSecond_) {
        closeDoubt();
        withoutTone_.emplace_back(heldFrom_, count);
        listedEnd_ = end;
        tell(watcher, ToneQuality::withoutTone, withoutTold_, end);
    } else {
        // Too short to be a stretch without tone: the tone was there, but
        // its values cannot be trusted.
        for (long long line = heldFrom_; line < end; ++line) {
            feedDoubt(line, true, false, watcher);
        }
    }
    heldFrom_ = -1;
}

void ToneMarks::tell(Watcher* watcher, ToneQuality kind, long long& told, long long end) {
    if (end > told) {
        if (watcher != nullptr) {
            watcher->marked(kind, told, end - told);
        }
        told = end;
    }
}

void ToneMarks::feedDoubt(long long line, bool doubt, bool heardLate, Watcher* watcher) {
    if (doubt) {
        if (doubtFrom_ >= 0 && line - doubtLast_ - 1 >= halfSecond_) {
            closeDoubt();
        }
        if (doubtFrom_ < 0) {
            doubtFrom_ = line;
            doubtBegins_ = heardLate ? std::max(line - heardLate_, listedEnd_) : line;
            doubtTold_ = doubtBegins_;
        }
        doubtLast_ = line;
        // Long enough to be listed: so far, and the good lines it joined.
        if (doubtLast_ - doubtFrom_ + 1 >= halfSecond_) {
            tell(watcher, ToneQuality::doubtful, doubtTold_, doubtLast_ + 1);
        }
    } else if (doubtFrom_ >= 0 && line - doubtLast_ >= halfSecond_) {
        closeDoubt();
    }
}

void ToneMarks::closeDoubt() {
    if (doubtFrom_ >= 0 && doubtLast_ - doubtFrom_ + 1 >= halfSecond_) {
        doubtful_.emplace_back(doubtBegins_, doubtLast_ - doubtBegins_ + 1);
        listedEnd_ = doubtLast_ + 1;
    }
    doubtFrom_ = -1;
    doubtLast_ = -1;
    doubtBegins_ = -1;
}

}  // namespace acquisition
