#include "StderrSilencer.h"

#include <cstdio>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

#if defined(__unix__) || defined(__APPLE__)

StderrSilencer::StderrSilencer() {
    std::fflush(stderr);
    const int nullDevice = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nullDevice < 0) {
        return;
    }
    saved_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved_ >= 0 && ::dup2(nullDevice, STDERR_FILENO) < 0) {
        ::close(saved_);
        saved_ = -1;
    }
    ::close(nullDevice);
}

StderrSilencer::~StderrSilencer() {
    if (saved_ < 0) {
        return;
    }
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
}

#else

StderrSilencer::StderrSilencer() = default;
StderrSilencer::~StderrSilencer() = default;

#endif

}  // namespace platform
