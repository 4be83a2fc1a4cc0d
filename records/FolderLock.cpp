#include "FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace records {

FolderLock::~FolderLock() {
    ::close(fd_);
}

std::unique_ptr<FolderLock> FolderLock::take(const std::string& folder, std::string* why) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(folder, error).lexically_normal();
    // "." in a folder normalises to "/that/folder/": the folder is named
    // without the trailing separator.
    if (!absolute.has_filename() && absolute != absolute.root_path()) {
        absolute = absolute.parent_path();
    }
    const std::string named = error ? folder : absolute.string();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (why != nullptr) {
            *why =
                "The records folder " + named + " cannot be opened: " + std::strerror(errno) + ".";
        }
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int failure = errno;
        if (failure == ENOLCK || failure == EOPNOTSUPP || failure == EINVAL) {
            // A file system without locks (some network shares): the folder
            // is used as before, one program trusted to be alone there.
            return std::unique_ptr<FolderLock>(new FolderLock(fd));
        }
        ::close(fd);
        if (why != nullptr) {
            *why = failure == EWOULDBLOCK
                       ? "Another trelmont-ecg is using the records folder " + named +
                             ".\nClose it first, or choose another folder with --records DIR."
                       : "The records folder " + named +
                             " cannot be locked: " + std::strerror(failure) + ".";
        }
        return nullptr;
    }
    return std::unique_ptr<FolderLock>(new FolderLock(fd));
}

}  // namespace records
