#pragma once

#include <cstdint>

namespace platform {

// What a WAV file's own chunks say about where its sound lies, read from the
// open file with the program's own reads (the library stops where the data
// chunk says the sound ends, and does not say why):
// - sound the data chunk announces beyond the file's end (a recording cut
//   short);
// - what lies after the sound it announces that is no chunk of its own:
//   sound the header does not count, or a second WAV file joined to it, and
//   where that one begins.
class WavLayout {
public:
    // The WAV file open as `fd` whose RIFF header begins at byte `base`
    // (0, or where a file joined to another begins), its sound's frame size
    // and rate from its own format chunk.
    WavLayout(int fd, long long base);

    // The byte its RIFF header begins at.
    long long start() const { return start_; }
    // The seconds of sound the file holds, as far as its data chunk says
    // and the file goes; 0 when that cannot be told.
    double soundSeconds() const { return sound_; }

    // The seconds of sound the data chunk claims when that is more than the
    // file holds after it; negative otherwise.
    double announcedSeconds() const { return announced_; }
    // What lies after the announced sound, in seconds of this file's sound;
    // 0 when nothing.
    double heldAfterSeconds() const { return heldAfter_; }
    // Whether that is another WAV file, and the byte it begins at (negative
    // when none).
    bool joined() const { return joinedAt_ >= 0; }
    long long joinedAt() const { return joinedAt_; }

    // The size of the file open as `fd`; negative when it cannot be told.
    static long long sizeOf(int fd);

private:
    void findChunks(int fd, long long size, long long base);
    void readFormat(int fd, long long at, std::uint32_t length);
    void lookAfterTheSound(int fd, long long size);

    long long start_ = 0;
    // From the format chunk: the bytes of a frame and the frames a second.
    int blockAlign_ = 0;
    int sampleRate_ = 0;

    // Where the data chunk's header is (negative when none was found) and
    // the length it claims.
    long long dataAt_ = -1;
    std::uint32_t dataLength_ = 0;
    double sound_ = 0.0;
    double announced_ = -1.0;
    double heldAfter_ = 0.0;
    long long joinedAt_ = -1;
};

}  // namespace platform
