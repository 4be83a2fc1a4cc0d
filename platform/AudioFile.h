#pragma once

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
// header says is read as far as it goes.
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
        // "aac in mov,mp4,m4a,3gp,3g2,mj2"
        std::string format;
        // The tags that may say when it was recorded, as the file holds
        // them: {"creation_time", ...}, {"origination", "2026-12-09 08:15:02"},
        // {"date", ...}.
        std::vector<std::pair<std::string, std::string>> timeTags;
    };

    ~AudioFile();
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // Opens `path`; null, with `reason` saying why in a few words ("Invalid
    // data found when processing input"), when it is no audio file the
    // library can read.
    static std::unique_ptr<AudioFile> open(const std::string& path, std::string& reason);

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
    // Why reading stopped before the end of the file (a read error), empty
    // when it reached the end.
    const std::string& endedEarly() const;

    // The library's words for one of its error codes.
    static std::string errorText(int code);

private:
    struct Impl;
    explicit AudioFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
