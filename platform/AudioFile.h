#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// An audio file of any of the formats people record (WAV, FLAC, Ogg Vorbis,
// Opus, MP3, M4A/AAC, AMR where the library reads it), read with FFmpeg's
// libraries and resampled to the rate the program records at, as 16-bit
// samples, a block at a time: memory does not grow with the file's length.
// A damaged frame is skipped and counted; a file that ends before its
// header says is read as far as it goes. Channels, rate and sample format
// may change midway (files joined from pieces): every stretch is read.
//
// A tone file comes from outside and may be anything: the file is opened
// once, as a regular file, and the library reads that descriptor through
// our own reading functions and nothing else. Only the demuxers of single
// audio files are allowed; a playlist or a list naming other files is
// refused, and every further file or protocol the library asks for too.
class AudioFile {
public:
    struct Info {
        int channels = 0;
        int sampleRate = 0;
        // From the container's header; negative when it does not say.
        double durationSeconds = -1.0;
        // What a WAV file's header announces when it claims more sound than
        // the file holds (a recording cut short), for which the library
        // takes the duration from the file's size instead; negative
        // otherwise.
        double announcedSeconds = -1.0;
        // What a WAV file holds after the sound its header announces that
        // is not read: sound the header does not count, or a second WAV file
        // joined to it (`joinedAfter`) that cannot be read, in seconds; 0
        // when nothing. A WAV file joined after it is read on into, and
        // these then tell of the last one read.
        double unreadSeconds = 0.0;
        bool joinedAfter = false;
        // The sound of the WAV files joined after it, by their own headers:
        // the file lasts `durationSeconds` and this much more.
        double joinedSeconds = 0.0;
        // "aac in mov,mp4,m4a,3gp,3g2,mj2"
        std::string format;
        // The tags that may say when it was recorded, as the file holds
        // them: {"creation_time", ...}, {"origination", "2026-12-09 08:15:02"},
        // {"date", ...}.
        std::vector<std::pair<std::string, std::string>> timeTags;
        // The file's modification time, seconds since the epoch, from the
        // descriptor read; negative when it cannot be told.
        double modifiedSeconds = -1.0;
    };

    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // Opens `path`; null, with `reason` saying why in a few words ("Invalid
    // data found when processing input"), when it is no audio file the
    // library can read. Once `cancel` (may be null) is set, every read of
    // the file fails at once, here and in read().
    static std::unique_ptr<AudioFile> open(const std::string& path, std::string& reason,
                                           const std::atomic<bool>* cancel = nullptr);
    // A second reader of the same file, from its start, with a position of
    // its own: the descriptor opened once is read again, nothing by name.
    std::unique_ptr<AudioFile> again(std::string& reason) const;

    const Info& info() const;
    // Reads channel `channel` (from 0), or every channel interleaved for -1,
    // resampled to `rate` samples a second from here on. Empty on success.
    std::string deliver(int channel, int rate);
    // Up to `frames` frames of what deliver() asked for into `out` (frames
    // times the channels delivered); fewer only at the end of the file.
    std::size_t read(std::int16_t* out, std::size_t frames);

    // How far the file was read, in seconds of audio.
    double secondsRead() const;
    // Frames of the file that could not be decoded and were skipped, and
    // where the first was, in seconds.
    int damagedFrames() const;
    double firstDamageSeconds() const;
    // WAV files joined after the first (`cat a.wav b.wav`) that were read
    // on into, each where the one before ends, and where the first began in
    // what was given out (negative when none).
    int joinedFilesRead() const;
    double firstJoinSeconds() const;
    // Sound missing inside a file whose frames carry its own times (Ogg,
    // MP4 and M4A, Matroska, FLAC), which they tell (pages the demuxer
    // skipped, frames the decoder could not decode): it
    // is given out as silence of its length, so that what follows keeps its
    // time. In all, in how many stretches, and where the first began in
    // what was given out; and jumps of the file's clock too far ahead to be
    // sound it lacks, which are not kept as time, with the largest.
    struct MissingSound {
        double seconds = 0.0;
        int stretches = 0;
        double firstAt = -1.0;
        int jumpsNotKept = 0;
        double largestJumpNotKept = 0.0;
    };
    MissingSound missingSound() const;
    // Why reading stopped before the end of the file (a read error, a
    // stretch without the channel asked for), empty when it reached the
    // end.
    const std::string& endedEarly() const;

    // The library's words for one of its error codes.
    static std::string errorText(int code);

private:
    struct Source;
    struct Impl;
    static std::unique_ptr<AudioFile> openSource(std::shared_ptr<const Source> source,
                                                 std::string& reason);
    explicit AudioFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
