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
// them, listed when the joined stretch lasts half a second or more, and
// then from half a second before its first line judged so (never into the
// stretch listed before it): the judgement hears a disturbance only once
// its running means have risen, a room's echoes or a second tone near the
// carrier having bent the values from a quarter to three quarters of a
// second before. Each stretch is the first line and the number of lines,
// counted from 0.
//
// As the lines come, a watcher may be told which of them are by now known
// to lie in a stretch that will be listed, so that the live trace marks what
// the facts will list: a stretch under way once it is long enough to be
// listed, from its first line, then line by line as it grows (a doubtful
// one with the good lines it joins in between); a run without tone that
// ended short of a second as doubtful. Each line is told of once at most,
// in order within each kind, and never more than linesUndecided() lines
// after it was taken.
class ToneMarks {
public:
    using Stretches = std::vector<std::pair<long long, long long>>;

    class Watcher {
    public:
        // Lines `first` to `first + count - 1` lie in a stretch of `kind`
        // (doubtful or withoutTone) that will be listed.
        virtual void marked(ToneQuality kind, long long first, long long count) = 0;

    protected:
        ~Watcher() = default;
    };

    explicit ToneMarks(double valuesPerSecond);

    // A new recording: nothing of the last is kept, the room reserved kept.
    void reset();
    // Room for this many stretches of each kind, and the tone run's lines,
    // so that no line taken allocates (up to that many stretches).
    void reserve(std::size_t stretches);
    // The quality of the next line stored; `watcher`, if any, is told of
    // the lines this makes known.
    void take(ToneQuality quality, Watcher* watcher = nullptr);
    // The recording ends after the lines taken: a stretch still open ends
    // with it.
    void finish(Watcher* watcher = nullptr);
    // How many of the latest lines a watcher may still be told of: a
    // line's place must be kept this long. The furthest back is a doubtful
    // line that waits for a run without tone after it, less than a second
    // long, and the second of tone that ends that run, and the half second
    // a doubtful stretch begins before its first doubtful line.
    long long linesUndecided() const { return 2 * (oneSecond_ + halfSecond_) + heardLate_; }

    const Stretches& withoutTone() const { return withoutTone_; }
    const Stretches& doubtful() const { return doubtful_; }
    long long lines() const { return lines_; }
    // The seconds of the lines listed in `stretches`.
    double secondsOf(const Stretches& stretches) const;

private:
    // The next line in order, doubtful or not; `heardLate`: judged so by
    // the running means, not for the tone's absence.
    void feedDoubt(long long line, bool doubt, bool heardLate, Watcher* watcher);
    // The joined doubtful stretch ends: listed if long enough.
    void closeDoubt();
    // The stretch without tone from heldFrom_ to `end` (exclusive) ends.
    void closeWithout(long long end, Watcher* watcher);
    // Tells the watcher of the lines of the stretch under way of `kind`
    // from `told` up to `end` (exclusive), and moves `told` there.
    static void tell(Watcher* watcher, ToneQuality kind, long long& told, long long end);

    double valuesPerSecond_;
    long long oneSecond_;
    long long halfSecond_;
    // How many lines before its first doubtful line the judgement heard
    // late a doubtful stretch begins.
    long long heardLate_;
    long long lines_ = 0;
    // The line after the last stretch listed: no stretch begins before it.
    long long listedEnd_ = 0;
    // The stretch without tone under way: its first line (-1: none), and
    // the tone's run at its end, whether each of its lines was doubtful.
    long long heldFrom_ = -1;
    std::vector<bool> run_;
    // The doubtful stretch under way: its first and last line judged so
    // (-1: none), and the line it begins at.
    long long doubtFrom_ = -1;
    long long doubtLast_ = -1;
    long long doubtBegins_ = -1;
    // The end of the lines of each stretch under way a watcher was told of.
    long long withoutTold_ = 0;
    long long doubtTold_ = 0;
    Stretches withoutTone_;
    Stretches doubtful_;
};

}  // namespace acquisition
