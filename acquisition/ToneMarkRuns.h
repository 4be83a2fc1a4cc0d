#pragma once

#include <array>
#include <cstddef>
#include <functional>

#include "ToneQuality.h"

namespace acquisition {

// The live trace's marks of the tone's trouble, worked out as the buffers
// come: a run of buffers without tone of a second or more is marked as
// such, one of doubtful tone of half a second or more as doubtful, and so is
// a run without tone that ends sooner than a second. A run is marked once
// it is known to be one, back to its start; from then on each buffer as it
// comes. Allocates nothing; owned by the capture worker (the Painter's
// lock_).
class ToneMarkRuns {
public:
    enum class Mark { withoutTone, doubtful };
    // Where a buffer was drawn: its pane and columns.
    struct Place {
        int pane = 0;
        double fromX = 0.0;
        double toX = 0.0;
    };
    using Draw = std::function<void(const Place& place, Mark mark)>;

    // A new recording at `valuesPerSecond` buffers a second.
    void reset(double valuesPerSecond);
    // The next buffer, where it was drawn, and its quality.
    void add(const Place& place, ToneQuality quality, const Draw& draw);
    // The recording stopped: a run without tone not yet a second long is
    // marked doubtful.
    void finish(const Draw& draw);

private:
    void endRun(const Draw& draw);
    void keep(const Place& place);

    long long withoutToneBuffers_ = 1;
    long long doubtfulBuffers_ = 1;
    ToneQuality quality_ = ToneQuality::good;
    long long length_ = 0;
    bool marked_ = false;
    // The places of a run not yet marked, joined where they meet on a pane.
    std::array<Place, 4> pending_{};
    std::size_t pendingCount_ = 0;
};

}  // namespace acquisition
