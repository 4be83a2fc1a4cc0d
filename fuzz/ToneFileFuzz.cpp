// Tone files come from phones, mail and voicemail: files nobody here made.
// This target takes any bytes as a tone file and decodes it as `--decode`
// and the window do: opened once, its form told by the library, its channel
// chosen, read to the end through every change of channels, rate and sample
// format, and analysed into an output that keeps nothing. Nothing may crash,
// hang or leak.

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "acquisition/ToneDecoder.h"
#include "records/DecodedOutput.h"

namespace {

// Audio past this many seconds adds nothing but time: the decoding is
// stopped there.
constexpr double secondsRead = 6.0;

// Keeps nothing, and checks that what it gets is in order.
class Discard final : public records::DecodedOutput {
public:
    std::string begin(const records::RecordingFacts&) override {
        if (begun_) {
            std::abort();
        }
        begun_ = true;
        return {};
    }
    void append(double, int sign, std::span<const double>) override {
        if (!begun_ || (sign != 1 && sign != -1)) {
            std::abort();
        }
        ++lines_;
    }
    // The stretches without tone lie in order within the lines written.
    std::string finish(const records::RecordingFacts& facts) override {
        long long end = 0;
        for (const auto& [first, count] : facts.linesWithoutTone) {
            if (first < end || count <= 0 || first + count > lines_) {
                std::abort();
            }
            end = first + count;
        }
        return {};
    }
    std::unique_ptr<records::HoldBackFile> holdBack(std::string& why) override {
        const char* folder = std::getenv("TMPDIR");
        return records::HoldBackFile::create(folder != nullptr ? folder : "/tmp", why);
    }

private:
    bool begun_ = false;
    long long lines_ = 0;
};

// The bytes as a file with a name: a memory file, opened by its path under
// /proc as the program opens a tone file.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("tone", MFD_CLOEXEC)) {
        if (fd_ < 0) {
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    void hold(const std::uint8_t* data, std::size_t size) {
        if (::ftruncate(fd_, 0) != 0) {
            std::abort();
        }
        for (std::size_t at = 0; at < size;) {
            const ssize_t n = ::pwrite(fd_, data + at, size - at, static_cast<off_t>(at));
            if (n <= 0) {
                std::abort();
            }
            at += static_cast<std::size_t>(n);
        }
    }
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryFile file;
    file.hold(data, size);
    std::atomic<bool> cancel{false};
    acquisition::DecodeRequest request;
    request.tonePath = file.path();
    request.cancel = &cancel;
    request.progress = [&cancel](double done, double) {
        if (done > secondsRead) {
            cancel.store(true);
        }
    };
    Discard out;
    const acquisition::DecodeResult result = acquisition::decodeToneFile(request, out);
    if (result.status == acquisition::DecodeResult::Status::Written && result.lines <= 0) {
        std::abort();
    }
    if (result.status != acquisition::DecodeResult::Status::Written && result.message.empty()) {
        std::abort();
    }
    return 0;
}
