#include "RecordCopy.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Companion.h"
#include "RecordFormat.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

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
    const std::unique_ptr<std::FILE, FileCloser> in(std::fopen(source.c_str(), "r"));
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
    platform::ReplacementFile out(destination, destination + ".part");
    // A copy is the same recording: it keeps the time its last value was
    // stored, from which its start is known.
    out.keepTime(info.st_mtim);
    out.reportWritesAs(destination);
    char line[lineBufferSize];
    char text[valueTextSize];
    std::size_t lines = 0;
    while (std::fgets(line, sizeof line, in.get()) != nullptr) {
        const std::size_t length = formatValue(parseValue(line), LineEnd::BlankNewline, text);
        out.write({text, length});
        // A line longer than a read is read in parts, each a value.
        ++lines;
    }
    if (std::ferror(in.get()) != 0) {
        return failed(source + " cannot be read", errno != 0 ? errno : EIO);
    }
    const std::string reason = out.commit();
    if (!reason.empty()) {
        return {CopyOutcome::Status::Failed, reason};
    }
    // The companion follows, as many lines as the copy holds (a companion a
    // killed recording left one line ahead is cut back to its record).
    const std::string companion = copyCompanion(destination, source, lines);
    if (!companion.empty()) {
        return {CopyOutcome::Status::Failed, companion};
    }
    return {CopyOutcome::Status::Copied, {}};
}

}  // namespace records
