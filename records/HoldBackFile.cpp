#include "HoldBackFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "ProgramFiles.h"

namespace records {

namespace {

constexpr int privateMode = S_IRUSR | S_IWUSR;

// A file system without unnamed files (O_TMPFILE): one with a name of the
// program's own, removed the moment it is open.
int createNamedThenUnlinked(const std::string& folder) {
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path =
            folder + "/" + ProgramFiles::holdBackName(static_cast<unsigned>(device()));
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, privateMode);
        if (fd >= 0) {
            ::unlink(path.c_str());
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

HoldBackFile::HoldBackFile(int fd, std::string folder) : fd_(fd), folder_(std::move(folder)) {}

HoldBackFile::~HoldBackFile() {
    ::close(fd_);
}

std::unique_ptr<HoldBackFile> HoldBackFile::create(const std::string& folder, std::string& why) {
    const std::string where = folder.empty() ? std::string(".") : folder;
    int fd = ::open(where.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, privateMode);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        fd = createNamedThenUnlinked(where);
    }
    if (fd < 0) {
        why = "what was held back of the tone file cannot be kept in " + where + ": " +
              std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<HoldBackFile>(new HoldBackFile(fd, where));
}

std::string HoldBackFile::failed(const char* what, int error) const {
    return std::string("what was held back of the tone file cannot be ") + what + " in " + folder_ +
           ": " + std::strerror(error != 0 ? error : EIO);
}

std::string HoldBackFile::append(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, bytes, size, static_cast<off_t>(written_));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return failed("written", n < 0 ? errno : ENOSPC);
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        written_ += n;
    }
    return {};
}

std::string HoldBackFile::read(void* data, std::size_t size) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        if (readAt_ >= written_) {
            return failed("read back", EIO);
        }
        const ssize_t n = ::pread(fd_, bytes, size, static_cast<off_t>(readAt_));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return failed("read back", n < 0 ? errno : EIO);
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        readAt_ += n;
    }
    return {};
}

std::string HoldBackFile::clear() {
    written_ = 0;
    readAt_ = 0;
    return ::ftruncate(fd_, 0) == 0 ? std::string() : failed("emptied", errno);
}

}  // namespace records
