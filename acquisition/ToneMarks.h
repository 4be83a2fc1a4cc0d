#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "ToneQuality.h"

namespace acquisition {

// The stretches of a recording whose tone a reader must not trust, from the
// quality of each line stored, in order; the capture worker and the decoder
// list them alike, so a recording and the decoding of its tone say the same.
//
// Without tone: from a line without it until the tone has been back for a
// second without a break (what lies between is part of the stretch), listed
// when it lasts a second or more. Shorter, it is doubtful. Doubtful: lines
// judged so, joined while less than half a second of good tone lies between
// them, listed when the joined stretch lasts half a second or more. Each
// stretch is the first line and the number of lines, counted from 0.
class ToneMarks {
public:
    using Stretches = std::vector<std::pair<long long, long long>>;

    explicit ToneMarks(double valuesPerSecond);

    // A new recording: nothing of the last is kept, the room reserved kept.
    void reset();
    // Room for this many stretches of each kind, and the tone run's lines,
    // so that no line taken allocates (up to that many stretches).
    void reserve(std::size_t stretches);
    // The quality of the next line stored.
    void take(ToneQuality quality);
    // The recording ends after the lines taken: a stretch still open ends
    // with it.
    void finish();

    const Stretches& withoutTone() const { return withoutTone_; }
    const Stretches& doubtful() const { return doubtful_; }
    long long lines() const { return lines_; }
    // The seconds of the lines listed in `stretches`.
    double secondsOf(const Stretches& stretches) const;

private:
    // The next line in order, doubtful or not.
    void feedDoubt(long long line, bool doubt);
    // The joined doubtful stretch ends: listed if long enough.
    void closeDoubt();
    // The stretch without tone from heldFrom_ to `end` (exclusive) ends.
    void closeWithout(long long end);

    double valuesPerSecond_;
    long long oneSecond_;
    long long halfSecond_;
    long long lines_ = 0;
    // The stretch without tone under way: its first line (-1: none), and
    // the tone's run at its end, whether each of its lines was doubtful.
    long long heldFrom_ = -1;
    std::vector<bool> run_;
    // The doubtful stretch under way: its first and last line (-1: none).
    long long doubtFrom_ = -1;
    long long doubtLast_ = -1;
    Stretches withoutTone_;
    Stretches doubtful_;
};

}  // namespace acquisition
