#include "FolderLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace records {

namespace {

// A new file, as every program creates one: the umask decides its mode.
constexpr mode_t newFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;

// The folder as people know it: absolute, without a trailing separator.
std::string folderName(const std::string& folder) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(folder, error).lexically_normal();
    // "." in a folder normalises to "/that/folder/".
    if (!absolute.has_filename() && absolute != absolute.root_path()) {
        absolute = absolute.parent_path();
    }
    return error ? folder : absolute.string();
}

// Whether `error` says the file system keeps no locks at all (some network
// shares): the folder is then used as before, one program trusted to be
// alone there.
bool noLocksHere(int error) {
    return error == ENOLCK || error == EOPNOTSUPP || error == EINVAL || error == ENOSYS;
}

// The lock file, opened for writing (a byte-range lock, which is what
// network file systems keep, needs it): created if missing and left in
// place; a link or anything but a regular file in its place is refused.
int openLockFile(const std::string& path) {
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY,
               newFileMode);
    if (fd < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

}  // namespace

FolderLock::~FolderLock() {
    ::close(fd_);
}

std::unique_ptr<FolderLock> FolderLock::take(const std::string& folder, std::string* why) {
    const std::string named = folderName(folder);
    const std::string path = (std::filesystem::path(folder) / fileName).string();
    const int fd = openLockFile(path);
    if (fd < 0) {
        if (why != nullptr) {
            *why = "The records folder " + named + " cannot be written: " + path + ": " +
                   std::strerror(errno) + ".";
        }
        return nullptr;
    }
    // An open file description's lock: held by this program's one
    // descriptor, let go however the program ends, and seen across NFS and
    // CIFS, where a flock is a byte-range lock in disguise.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0) {
        const int failure = errno;
        if (noLocksHere(failure)) {
            return std::unique_ptr<FolderLock>(new FolderLock(fd));
        }
        ::close(fd);
        if (why != nullptr) {
            *why = failure == EAGAIN || failure == EACCES
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
