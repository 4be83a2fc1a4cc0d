#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

std::string notRegularText(const std::string& path) {
    return path + " is not a regular file (a device, a pipe or a folder)";
}

}  // namespace

FileDescriptor openRegularDescriptor(const std::string& path, std::string* why) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if (why != nullptr) {
            *why =
                errno == ENOENT ? std::string() : path + " cannot be read: " + std::strerror(errno);
        }
        return {};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        if (why != nullptr) {
            *why = notRegularText(path);
        }
        return {};
    }
    // Reads of a regular file never wait anyway; the flag goes all the same.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

File openRegularForReading(const std::string& path, std::string* why) {
    FileDescriptor fd = openRegularDescriptor(path, why);
    if (!fd) {
        return nullptr;
    }
    File file(::fdopen(fd.get(), "r"));
    if (!file) {
        if (why != nullptr) {
            *why = path + " cannot be read: " + std::strerror(errno);
        }
        return nullptr;
    }
    // The stream closes it now.
    fd.release();
    return file;
}

bool isNotRegular(const std::string& path, std::string* why) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return false;
    }
    if (S_ISLNK(info.st_mode) && (::stat(path.c_str(), &info) != 0)) {
        // A dangling link: nothing is there to be misread.
        return false;
    }
    if (S_ISREG(info.st_mode)) {
        return false;
    }
    if (why != nullptr) {
        *why = notRegularText(path);
    }
    return true;
}

int permissionBits(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<int>(info.st_mode & 07777);
}

}  // namespace platform
