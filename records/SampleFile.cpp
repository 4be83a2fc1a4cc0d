#include "SampleFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace records {

namespace {

struct SharedState {
    std::recursive_mutex mutex;
    std::FILE* stream = nullptr;
    int openCount = 0;
    bool written = false;
    const std::string fileName{SampleFile::workingFileName};
};

SharedState& state() {
    static SharedState shared;
    return shared;
}

using Lock = std::lock_guard<std::recursive_mutex>;

// fopen's "r", "w+" and "a+", never through a link: a link put in the
// working file's place is not followed to what it names.
std::FILE* openStream(const std::string& name, const char* mode) {
    const int flags = std::strcmp(mode, "r") == 0    ? O_RDONLY
                      : std::strcmp(mode, "a+") == 0 ? O_RDWR | O_CREAT | O_APPEND
                                                     : O_RDWR | O_CREAT | O_TRUNC;
    const int descriptor = ::open(name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(descriptor, mode);
    if (stream == nullptr) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
    }
    return stream;
}

}  // namespace

SampleFile::Session::Session() : lock_(state().mutex) {}

void SampleFile::keep(std::FILE* stream, bool writing) {
    SharedState& s = state();
    if (stream != nullptr) {
        if (writing) {
            // Appends go straight to the system: nothing that failed to reach
            // the disk lingers in a buffer to be written later behind a cut.
            std::setvbuf(stream, nullptr, _IONBF, 0);
        }
        s.stream = stream;
        s.openCount += 1;
        s.written = false;
    }
}

std::string SampleFile::notARecordFile(const std::string& name) {
    struct stat info {};
    if (::lstat(name.c_str(), &info) != 0 || S_ISREG(info.st_mode)) {
        return {};
    }
    if (S_ISLNK(info.st_mode)) {
        return name + " is a link (a recording is never written through a link)";
    }
    return name + " is not a regular file (a device, a pipe or a folder)";
}

void SampleFile::openGuarded(const std::string& name, const char* mode) {
    SharedState& s = state();
    Lock lock(s.mutex);
    // A device or a pipe may never end, or block the opening; it is left alone.
    if (!notARecordFile(name).empty()) {
        return;
    }
    if (s.stream == nullptr && s.openCount == 0) {
        keep(openStream(name, mode), mode[0] != 'r');
    }
}

void SampleFile::openRead(const std::string& name) {
    openGuarded(name, "r");
}

void SampleFile::openWrite(const std::string& name) {
    openGuarded(name, "w+");
}

void SampleFile::openAppend(const std::string& name) {
    SharedState& s = state();
    Lock lock(s.mutex);
    if (s.stream != nullptr) {
        // Only one stream is ever held: the one open already is the working file.
        return;
    }
    if (!notARecordFile(name).empty()) {
        return;
    }
    std::FILE* stream = openStream(name, "a+");
    if (stream == nullptr && errno != ELOOP) {
        stream = openStream(name, "w+");
    }
    keep(stream, true);
}

bool SampleFile::readLine(std::string& line) {
    SharedState& s = state();
    Lock lock(s.mutex);
    if (s.stream == nullptr) {
        return false;
    }
    char buffer[lineBufferSize];
    if (std::fgets(buffer, sizeof buffer, s.stream) == nullptr) {
        return false;
    }
    line.assign(buffer);
    return true;
}

int SampleFile::appendText(std::string_view text) {
    SharedState& s = state();
    Lock lock(s.mutex);
    if (s.stream == nullptr && s.openCount == 0) {
        errno = 0;
        openAppend(s.fileName);
    }
    if (s.stream == nullptr) {
        return errno != 0 ? errno : EBADF;
    }
    s.written = true;
    std::fseek(s.stream, 0, SEEK_END);
    const long before = std::ftell(s.stream);
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), s.stream) == text.size() &&
        std::fflush(s.stream) == 0) {
        return 0;
    }
    const int error = errno != 0 ? errno : EIO;
    std::clearerr(s.stream);
    if (before >= 0 && ::ftruncate(fileno(s.stream), before) == 0) {
        std::fseek(s.stream, before, SEEK_SET);
    }
    return error;
}

bool SampleFile::writeText(std::string_view text) {
    return appendText(text) == 0;
}

void SampleFile::flush() {
    SharedState& s = state();
    Lock lock(s.mutex);
    if (s.stream != nullptr) {
        std::fflush(s.stream);
    }
}

void SampleFile::rewind() {
    SharedState& s = state();
    Lock lock(s.mutex);
    if (s.stream != nullptr) {
        std::rewind(s.stream);
    }
}

void SampleFile::close() {
    SharedState& s = state();
    Lock lock(s.mutex);
    if (s.stream == nullptr || s.openCount <= 0) {
        return;
    }
    if (s.written) {
        // A finished recording should survive a power cut, not only a crash.
        std::fflush(s.stream);
        ::fsync(fileno(s.stream));
    }
    std::fclose(s.stream);
    s.stream = nullptr;
    s.openCount -= 1;
    s.written = false;
}

bool SampleFile::isOpen() {
    SharedState& s = state();
    Lock lock(s.mutex);
    return s.stream != nullptr;
}

int SampleFile::openCount() {
    SharedState& s = state();
    Lock lock(s.mutex);
    return s.openCount;
}

const std::string& SampleFile::fileName() {
    return state().fileName;
}

}  // namespace records
