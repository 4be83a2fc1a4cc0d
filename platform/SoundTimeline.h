#pragma once

namespace platform {

// The time a compressed file's frames say they start at, followed from
// frame to frame. Where frames are missing inside the file (damaged pages
// the demuxer skipped, frames the decoder could not decode), the frames
// after them start later than the sound read so far reaches: that much
// sound is missing, and the reader puts silence of that length in its place
// so that everything after it keeps its time (and the silence is read as a
// stretch without tone).
//
// Decoders round a frame's time now and then (Vorbis puts one frame a few
// milliseconds late and the next back in line), and the first frames of a
// stream lose the encoder's delay without their times moving: a jump is
// taken as missing sound only when two frames in a row stand that far
// ahead, and the first two frames set the clock. The silence then goes in
// before the second of them, one frame after the gap.
//
// The timestamps come from outside like the rest of the file: a jump back
// (a chained Ogg stream starts its clock again, pieces joined) is followed
// without a gap, and a jump ahead is kept as time only while it is
// plausible: at most maxGapSeconds, all of them together at most
// maxExtraSeconds more than the sound read, and never past the end the
// file's header gives. A jump beyond that is counted, not kept.
class SoundTimeline {
public:
    static constexpr double maxGapSeconds = 60.0;
    static constexpr double maxExtraSeconds = 600.0;
    // Timestamps of frames that follow each other may differ from the
    // frames' lengths by a few samples' rounding: less than this is none.
    static constexpr double leastGapSeconds = 0.002;

    // `durationSeconds`: how long the file's header says it is (negative
    // when it does not say).
    explicit SoundTimeline(double durationSeconds);

    // A frame that starts at `start` seconds of the file's own clock (NaN
    // when it says none) and lasts `length` seconds, read once
    // `secondsSoFar` seconds of sound (silence put in included) have been
    // given out: the seconds missing before it to keep as time, 0 for none.
    double missingBefore(double start, double length, double secondsSoFar);

    // The missing sound kept as time: in all, in how many stretches, and
    // where the first began in the sound given out.
    double missingSeconds() const { return missing_; }
    int missingStretches() const { return stretches_; }
    double firstMissingAt() const { return firstAt_; }
    // Jumps ahead not kept as time, and the largest of them.
    int jumpsNotKept() const { return jumpsNotKept_; }
    double largestJumpNotKept() const { return largestJump_; }

private:
    bool plausible(double jump, double start, double secondsSoFar) const;

    double duration_;
    // Frames with a time seen; the file's time of the first.
    int framesTimed_ = 0;
    double firstStart_ = 0.0;
    // Where the next frame starts in the file's time if nothing is missing.
    double clock_ = 0.0;
    // How far ahead of the clock the last frame stood (0: in line).
    double ahead_ = 0.0;
    double missing_ = 0.0;
    int stretches_ = 0;
    double firstAt_ = -1.0;
    int jumpsNotKept_ = 0;
    double largestJump_ = 0.0;
};

}  // namespace platform
