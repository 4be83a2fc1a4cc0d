#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "acquisition/HeartSignal.h"
#include "tests/support/ToneFiles.h"

namespace testsupport {

// Tone files as they come from outside: joined from pieces, cut short,
// empty, or lists in disguise naming other files.

inline bool ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -v error -y " + arguments).c_str()) == 0;
}

// An MP3 made by the ffmpeg command of the simulator's tone from `from` to
// `to` seconds at `rate`: mono, or in the second of two channels (the first
// silent).
inline bool writeToneMp3(const std::string& path, int rate, int channels, double from, double to) {
    const std::vector<std::int16_t> tone = simulatorTone(acquisition::HeartSignal{}, rate, to);
    const std::vector<std::int16_t> piece(tone.begin() + static_cast<std::ptrdiff_t>(from * rate),
                                          tone.end());
    writeWav("piece.wav", rate, channels, channels == 1 ? piece : inChannel(piece, 2, 1));
    const bool made = ffmpeg("-i piece.wav -c:a libmp3lame -b:a 64k " + path);
    std::filesystem::remove("piece.wav");
    return made;
}

// Two MP3 files joined as `cat` joins them, 6 s each: the first at `rate`
// with `channels`, the second mono at `laterRate`.
inline bool writeJoinedMp3(const std::string& path, int rate, int channels, int laterRate) {
    if (!writeToneMp3("first.mp3", rate, channels, 0.0, 6.0) ||
        !writeToneMp3("second.mp3", laterRate, 1, 6.0, 12.0)) {
        return false;
    }
    const bool joined = std::system(("cat first.mp3 second.mp3 > " + path).c_str()) == 0;
    std::filesystem::remove("first.mp3");
    std::filesystem::remove("second.mp3");
    return joined;
}

// A concatenation list of the library's own form naming `named`.
inline void writeConcatList(const std::string& path, const std::string& named) {
    std::ofstream(path) << "ffconcat version 1.0\nfile " << named << "\n";
}

// A live-streaming playlist naming `named`.
inline void writePlaylist(const std::string& path, const std::string& named) {
    std::ofstream(path) << "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXT-X-MEDIA-SEQUENCE:0\n"
                        << "#EXTINF:10,\n"
                        << named << "\n#EXT-X-ENDLIST\n";
}

// An M4A of 8 s of tone whose end (with the index that says where its
// sound lies) never arrived.
inline bool writeTruncatedM4a(const std::string& path) {
    if (!ffmpeg("-f lavfi -i sine=frequency=1716:sample_rate=48000:duration=8 -c:a aac "
                "-b:a 64k whole.m4a")) {
        return false;
    }
    std::filesystem::resize_file("whole.m4a", std::filesystem::file_size("whole.m4a") / 2);
    std::filesystem::rename("whole.m4a", path);
    return true;
}

// An M4A whose sound is empty.
inline bool writeEmptyM4a(const std::string& path) {
    return ffmpeg("-f lavfi -i anullsrc=r=48000:cl=mono -t 0 -c:a aac " + path);
}

}  // namespace testsupport
