#include "CompanionWriter.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>

namespace records {

int CompanionWriter::open(const std::string& path, const std::string& recordPath) {
    close();
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return S_ISDIR(info.st_mode) ? EISDIR : S_ISLNK(info.st_mode) ? ELOOP : EINVAL;
    }
    // The companion holds what the record holds: no one may read it who
    // may not read the record.
    struct stat record {};
    const mode_t limit = ::stat(recordPath.c_str(), &record) == 0 ? record.st_mode & 0666 : 0666;
    errno = 0;
    const int descriptor =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, limit);
    if (descriptor < 0) {
        return errno != 0 ? errno : EIO;
    }
    struct stat opened {};
    if (::fstat(descriptor, &opened) != 0 ||
        ((opened.st_mode & 0777 & ~limit) != 0 &&
         ::fchmod(descriptor, opened.st_mode & 0777 & limit) != 0)) {
        const int error = errno != 0 ? errno : EIO;
        ::close(descriptor);
        return error;
    }
    file_ = ::fdopen(descriptor, "w");
    if (file_ == nullptr) {
        const int error = errno != 0 ? errno : EIO;
        ::close(descriptor);
        return error;
    }
    // Straight to the system, as the values are: nothing that failed to
    // reach the disk lingers in a buffer to be written behind a cut.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    size_ = 0;
    lastLineStart_ = -1;
    return 0;
}

int CompanionWriter::append(std::span<const double> tenValues) {
    if (file_ == nullptr) {
        return EBADF;
    }
    // The writer alone writes the file: its size is known without asking.
    const long before = size_;
    const std::size_t length = formatCompanionLine(tenValues, text_.data());
    errno = 0;
    if (std::fwrite(text_.data(), 1, length, file_) == length && std::fflush(file_) == 0) {
        lastLineStart_ = before;
        size_ += static_cast<long>(length);
        return 0;
    }
    const int error = errno != 0 ? errno : EIO;
    std::clearerr(file_);
    if (::ftruncate(fileno(file_), before) == 0) {
        std::fseek(file_, before, SEEK_SET);
    }
    return error;
}

void CompanionWriter::takeBackLast() {
    if (file_ == nullptr || lastLineStart_ < 0) {
        return;
    }
    if (::ftruncate(fileno(file_), lastLineStart_) == 0) {
        std::fseek(file_, lastLineStart_, SEEK_SET);
        size_ = lastLineStart_;
    }
    lastLineStart_ = -1;
}

void CompanionWriter::close() {
    if (file_ != nullptr) {
        // A finished recording survives a power cut whole: the companion as
        // its record.
        std::fflush(file_);
        ::fsync(fileno(file_));
        std::fclose(file_);
        file_ = nullptr;
    }
    lastLineStart_ = -1;
}

}  // namespace records
