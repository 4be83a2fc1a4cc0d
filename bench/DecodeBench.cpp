// How fast a tone recording from a phone is decoded: an hour of the
// simulator's tone as a mono AAC M4A at 48000 Hz (64 kbit/s, made once with
// the ffmpeg command and kept beside the bench), decoded to EDF+ as
// `--decode` does. Prints the time of reading (demuxing and decoding the
// AAC), of resampling it to 199680, and of the analysis and the EDF+, each
// as times real time, and the peak memory of a whole decode. Run it in a
// Release build, on one core (taskset -c 0).

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/FmTone.h"
#include "acquisition/ToneDecoder.h"
#include "platform/AudioFile.h"
#include "records/DecodedOutput.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int fileRate = 48000;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The hour of tone, made with the ffmpeg command unless it is there.
bool makeToneFile(const std::string& path, double length) {
    if (std::filesystem::exists(path)) {
        return true;
    }
    std::printf("making %s (%.0f s of tone) ...\n", path.c_str(), length);
    const std::string part = path + ".part.m4a";
    const std::string command = "ffmpeg -loglevel error -y -f s16le -ar " +
                                std::to_string(fileRate) + " -ac 1 -i - -c:a aac -b:a 64k '" +
                                part + "'";
    std::FILE* encoder = ::popen(command.c_str(), "w");
    if (encoder == nullptr) {
        return false;
    }
    acquisition::FmTone tone(acquisition::HeartSignal{}, fileRate);
    std::vector<char> block(2 * fileRate);
    for (double done = 0; done < length; done += 1.0) {
        tone.fill(block.data(), fileRate, 16);
        std::fwrite(block.data(), 1, block.size(), encoder);
    }
    if (::pclose(encoder) != 0) {
        return false;
    }
    std::filesystem::rename(part, path);
    return true;
}

// Reads the whole file, delivered at `rate`; the seconds of audio read.
double readAll(const std::string& path, int rate) {
    std::string reason;
    const auto file = platform::AudioFile::open(path, reason);
    if (!file || !file->deliver(0, rate).empty()) {
        return 0.0;
    }
    std::vector<std::int16_t> block(4096);
    while (file->read(block.data(), block.size()) == block.size()) {
    }
    return file->secondsRead();
}

double decodeToEdf(const std::string& path, const std::string& edf) {
    records::DecodedEdf out(edf, path);
    acquisition::DecodeRequest request;
    request.tonePath = path;
    request.channel = 0;
    const acquisition::DecodeResult result = acquisition::decodeToneFile(request, out);
    if (result.status != acquisition::DecodeResult::Status::Written) {
        std::printf("decoding failed: %s\n", result.message.c_str());
    }
    return static_cast<double>(result.lines) / 48.75;
}

}  // namespace

int main(int argc, char** argv) {
    const double length = argc > 1 ? std::atof(argv[1]) : 3600.0;
    const std::string path = "decode-bench-" + std::to_string(static_cast<long>(length)) + "s.m4a";
    if (!makeToneFile(path, length)) {
        std::printf("the ffmpeg command could not make %s\n", path.c_str());
        return 1;
    }
    auto start = Clock::now();
    const double audio = readAll(path, fileRate);
    const double reading = seconds(start);
    start = Clock::now();
    readAll(path, 199680);
    const double resampled = seconds(start);
    start = Clock::now();
    const double decoded = decodeToEdf(path, "decode-bench.edf");
    const double whole = seconds(start);
    std::printf("%.0f s of audio (%.0f s of ECG)\n", audio, decoded);
    std::printf("reading (demuxing, decoding AAC)   %7.2f s  %6.0fx real time\n", reading,
                audio / reading);
    std::printf("resampling to 199680               %7.2f s\n", resampled - reading);
    std::printf("analysis and EDF+                  %7.2f s\n", whole - resampled);
    std::printf("whole decode to EDF+               %7.2f s  %6.0fx real time\n", whole,
                audio / whole);
    // The peak memory of a decode alone, in a process of its own.
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        decodeToEdf(path, "decode-bench.edf");
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        std::printf("peak memory of a whole decode      %7.1f MB\n", usage.ru_maxrss / 1024.0);
        std::fflush(stdout);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    std::filesystem::remove("decode-bench.edf");
    return 0;
}
