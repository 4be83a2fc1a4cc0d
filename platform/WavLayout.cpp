#include "WavLayout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace platform {

namespace {

// A file with more chunks than this before or after its sound is not
// looked into further.
constexpr int maxChunks = 64;

// `size` bytes at `at` of the file open as `fd`, whole or not at all.
bool readAt(int fd, long long at, void* to, std::size_t size) {
    auto* bytes = static_cast<char*>(to);
    while (size > 0) {
        const ssize_t n = ::pread(fd, bytes, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::uint32_t littleEndian(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// A length a writer that did not know it leaves: the sound runs to the end.
bool lengthUnknown(std::uint32_t length) {
    return length == 0 || length == 0xFFFFFFFFu;
}

}  // namespace

long long WavLayout::sizeOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

WavLayout::WavLayout(int fd, long long base) : start_(base) {
    const long long size = sizeOf(fd);
    if (size < 0 || base < 0) {
        return;
    }
    findChunks(fd, size, base);
    const std::uint32_t length = dataLength_;
    if (dataAt_ < 0 || blockAlign_ <= 0 || sampleRate_ <= 0) {
        return;
    }
    const long long held = size - dataAt_ - 8;
    const long long bytes =
        lengthUnknown(length) ? held : std::min(static_cast<long long>(length), held);
    sound_ = static_cast<double>(std::max(bytes, 0LL) / blockAlign_) / sampleRate_;
    if (lengthUnknown(length)) {
        return;
    }
    if (length > held) {
        announced_ =
            static_cast<double>(length / static_cast<std::uint32_t>(blockAlign_)) / sampleRate_;
    }
    lookAfterTheSound(fd, size);
}

void WavLayout::findChunks(int fd, long long size, long long base) {
    std::array<unsigned char, 12> riff{};
    if (!readAt(fd, base, riff.data(), riff.size()) || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
        std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
        return;
    }
    long long at = base + 12;
    for (int chunks = 0; chunks < maxChunks && at + 8 <= size; ++chunks) {
        std::array<unsigned char, 8> head{};
        if (!readAt(fd, at, head.data(), head.size())) {
            return;
        }
        const std::uint32_t length = littleEndian(head.data() + 4);
        if (std::memcmp(head.data(), "fmt ", 4) == 0) {
            readFormat(fd, at + 8, length);
        }
        if (std::memcmp(head.data(), "data", 4) == 0) {
            dataAt_ = at;
            dataLength_ = length;
            return;
        }
        at += 8 + static_cast<long long>(length) + (length & 1u);
    }
}

void WavLayout::readFormat(int fd, long long at, std::uint32_t length) {
    std::array<unsigned char, 16> format{};
    if (length < format.size() || !readAt(fd, at, format.data(), format.size())) {
        return;
    }
    const std::uint32_t rate = littleEndian(format.data() + 4);
    const unsigned align = format[12] | static_cast<unsigned>(format[13]) << 8;
    // Rates below telephone sound's or beyond any sound card's are no rate.
    if (rate >= 1000u && rate <= 10'000'000u) {
        sampleRate_ = static_cast<int>(rate);
        blockAlign_ = static_cast<int>(align);
    }
}

void WavLayout::lookAfterTheSound(int fd, long long size) {
    const std::uint32_t length = dataLength_;
    long long at = dataAt_ + 8 + static_cast<long long>(length) + (length & 1u);
    const auto rest = [&] {
        return static_cast<double>(std::max(size - at, 0LL) / blockAlign_) / sampleRate_;
    };
    for (int chunks = 0; chunks < maxChunks && at + 8 <= size; ++chunks) {
        std::array<unsigned char, 8> head{};
        if (!readAt(fd, at, head.data(), head.size())) {
            return;
        }
        if (std::memcmp(head.data(), "RIFF", 4) == 0) {
            joinedAt_ = at;
            heldAfter_ = rest();
            return;
        }
        const bool named = std::all_of(head.begin(), head.begin() + 4,
                                       [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
        const std::uint32_t chunkLength = littleEndian(head.data() + 4);
        if (!named || static_cast<long long>(chunkLength) > size - at - 8) {
            heldAfter_ = rest();
            return;
        }
        at += 8 + static_cast<long long>(chunkLength) + (chunkLength & 1u);
    }
}

}  // namespace platform
