#include "ReplacementFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <cerrno>
#include <cstring>

#include "RecordTime.h"

namespace records {

ReplacementFile::ReplacementFile(std::string target, std::string temporary)
    : target_(std::move(target)), temporary_(std::move(temporary)) {
    // The temporary name is ours: whatever it names now (a stale file, a link)
    // is removed first, so the new version is a fresh regular file.
    std::remove(temporary_.c_str());
    file_ = std::fopen(temporary_.c_str(), "w+");
    if (file_ == nullptr) {
        fail(temporary_ + " cannot be created", errno);
    }
}

ReplacementFile::ReplacementFile(std::string target)
    : target_(std::move(target)), temporary_(target_ + ".XXXXXX") {
    const int fd = ::mkstemp(temporary_.data());
    if (fd < 0) {
        fail(target_ + " cannot be written", errno);
        return;
    }
    // As a newly created file would be, not private to its owner.
    ::fchmod(fd, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    file_ = ::fdopen(fd, "w+");
    if (file_ == nullptr) {
        fail(target_ + " cannot be written", errno);
        ::close(fd);
        std::remove(temporary_.c_str());
    }
}

ReplacementFile::~ReplacementFile() {
    discard();
}

void ReplacementFile::fail(const std::string& what, int error) {
    if (failure_.empty()) {
        failure_ = what + ": " + std::strerror(error != 0 ? error : EIO);
    }
}

void ReplacementFile::discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(temporary_.c_str());
    }
}

void ReplacementFile::write(std::string_view text) {
    if (file_ == nullptr || !failure_.empty()) {
        return;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        fail(temporary_ + " cannot be written", errno);
    }
}

std::string ReplacementFile::commit() {
    if (file_ == nullptr || !failure_.empty()) {
        discard();
        return failure_.empty() ? temporary_ + " is not open" : failure_;
    }
    errno = 0;
    int error = std::fflush(file_) == 0 ? 0 : (errno != 0 ? errno : EIO);
    if (error == 0 && keepTime_) {
        error = setModificationTime(fileno(file_), time_);
    }
    if (error == 0 && ::fsync(fileno(file_)) != 0) {
        error = errno;
    }
    if (error != 0) {
        fail(temporary_ + " cannot be written", error);
        discard();
        return failure_;
    }
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) {
        fail(temporary_ + " cannot be written", errno);
        std::remove(temporary_.c_str());
        return failure_;
    }
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail(target_ + " cannot be replaced", errno);
        std::remove(temporary_.c_str());
        return failure_;
    }
    return {};
}

}  // namespace records
