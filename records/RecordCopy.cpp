#include "RecordCopy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "RecordFormat.h"
#include "RecordTime.h"

namespace records {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// 0, or the error number of the first failure.
int copyLines(std::FILE* in, std::FILE* out) {
    char line[lineBufferSize];
    char text[valueTextSize];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        const std::size_t length = formatValue(parseValue(line), LineEnd::BlankNewline, text);
        errno = 0;
        if (std::fwrite(text, 1, length, out) != length) {
            return errno != 0 ? errno : EIO;
        }
    }
    if (std::ferror(in) != 0) {
        return errno != 0 ? errno : EIO;
    }
    errno = 0;
    if (std::fflush(out) != 0 || ::fsync(fileno(out)) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return 0;
}

CopyOutcome failed(const std::string& what, int error) {
    return {CopyOutcome::Status::Failed, what + ": " + std::strerror(error)};
}

}  // namespace

CopyOutcome copyRecordFile(const std::string& destination, const std::string& source) {
    // Checked before opening: opening a pipe would wait for a writer.
    struct stat before {};
    if (::stat(source.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        return {CopyOutcome::Status::Failed, source + " is not a regular file"};
    }
    File in(std::fopen(source.c_str(), "r"));
    if (!in) {
        const int error = errno;
        if (error == ENOENT) {
            return {CopyOutcome::Status::NoSource, source + " does not exist"};
        }
        return failed(source + " cannot be read", error);
    }
    struct stat info {};
    if (::fstat(fileno(in.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {CopyOutcome::Status::Failed, source + " is not a regular file"};
    }
    const std::string temporary = destination + ".part";
    File out(std::fopen(temporary.c_str(), "w+"));
    if (!out) {
        return failed(temporary + " cannot be created", errno);
    }
    int error = copyLines(in.get(), out.get());
    // A copy is the same recording: it keeps the time its last value was
    // stored, from which its start is known.
    if (error == 0) {
        error = setModificationTime(fileno(out.get()), info.st_mtim);
    }
    errno = 0;
    if (std::fclose(out.release()) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) {
        std::remove(temporary.c_str());
        return failed(destination + " cannot be written", error);
    }
    if (std::rename(temporary.c_str(), destination.c_str()) != 0) {
        error = errno;
        std::remove(temporary.c_str());
        return failed(destination + " cannot be replaced", error);
    }
    return {CopyOutcome::Status::Copied, {}};
}

}  // namespace records
