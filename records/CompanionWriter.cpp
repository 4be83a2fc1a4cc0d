#include "CompanionWriter.h"

#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>

namespace records {

int CompanionWriter::open(const std::string& path) {
    close();
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    }
    errno = 0;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        return errno != 0 ? errno : EIO;
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
