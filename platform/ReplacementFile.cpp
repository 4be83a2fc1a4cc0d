#include "ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "FileSteps.h"

namespace platform {

namespace {

#ifdef TRELMONT_TEST_HOOKS
// The step the tests make fail, -1 for none, the error it fails with, and
// how many times it goes through before it fails.
std::atomic<int> failingStep{-1};
std::atomic<int> failingError{0};
std::atomic<int> passingLeft{0};

// 0, or the error a test asked `step` to fail with.
int injectedFailure(ReplacementFile::Step step) {
    if (failingStep.load() != static_cast<int>(step) || passingLeft.fetch_sub(1) > 0) {
        return 0;
    }
    const int error = failingError.load();
    return error != 0 ? error : EIO;
}
#else
// The program people run: no step ever fails but by the system's word.
constexpr int injectedFailure(ReplacementFile::Step) {
    return 0;
}
#endif

int lastError() {
    return errno != 0 ? errno : EIO;
}

// A new file, as every program creates one: the umask decides its mode.
constexpr mode_t newFileMode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
constexpr int createFlags = O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;

// A fresh temporary name is its target's with a dot and this many of these
// letters added ("memo.txt.Xa9Qz1").
constexpr std::size_t freshLength = 6;
constexpr std::string_view freshLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Creates `pattern` with its last freshLength characters replaced, as mkstemp
// does, but with `mode` as the umask narrows it. The descriptor, or -1.
int createUnique(std::string& pattern, mode_t mode) {
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, freshLetters.size() - 1);
    const std::size_t first = pattern.size() - freshLength;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = first; i < pattern.size(); ++i) {
            pattern[i] = freshLetters[pick(device)];
        }
        const int fd = ::open(pattern.c_str(), createFlags, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

// While it is written, the new version is also its owner's to read and
// write (a writer by name opens it again, the EDF+ header is read back),
// whatever the sources allow; that gives no one else anything.
mode_t whileWritten(mode_t limit) {
    return limit | S_IRUSR | S_IWUSR;
}

// 0, or the error with which the file at `fd` could not be narrowed to
// `limit`.
int narrowMode(int fd, mode_t limit) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return lastError();
    }
    const mode_t mode = info.st_mode & 07777;
    return (mode & limit) == mode || ::fchmod(fd, mode & limit) == 0 ? 0 : lastError();
}

// 0, or why the file at `fd`, `info` as fstat gave it, is not what was
// written under `name`: the name now names another file (or a link), or
// the file has not the `expected` length.
int checkWritten(int fd, const struct stat& info, const std::string& name,
                 std::optional<off_t> expected) {
    struct stat named {};
    if (::fstatat(AT_FDCWD, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
        return lastError();
    }
    if (named.st_dev != info.st_dev || named.st_ino != info.st_ino) {
        return EEXIST;
    }
    if (!expected || info.st_size == *expected) {
        return 0;
    }
    // Bytes a writer lost to a full disk: the disk says why when asked to
    // hold them.
    if (info.st_size < *expected) {
        const int refused = ::posix_fallocate(fd, info.st_size, *expected - info.st_size);
        if (refused != 0) {
            return refused;
        }
    }
    return EIO;
}

}  // namespace

void syncFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    // A file system that cannot sync a folder (some refuse with EINVAL) has
    // nothing more to give; the files themselves are synced already.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

#ifdef TRELMONT_TEST_HOOKS
void ReplacementFile::failStepForTests(std::optional<Step> step, int error, int passing) {
    failingError.store(error);
    passingLeft.store(passing);
    failingStep.store(step ? static_cast<int>(*step) : -1);
}
#endif

ReplacementFile::ReplacementFile(std::string target, std::string temporary,
                                 const ModeSources& sources)
    : target_(std::move(target)), temporary_(std::move(temporary)) {
    limitModeToTargetAnd(sources);
    if (const int injected = injectedFailure(Step::Open)) {
        fail(temporary_ + " cannot be created", injected);
        return;
    }
    // The temporary name is ours: whatever it names now (a stale file, a link)
    // is removed first, so the new version is a fresh regular file.
    std::remove(temporary_.c_str());
    openTemporary(::open(temporary_.c_str(), createFlags, newFileMode & whileWritten(modeLimit_)),
                  temporary_ + " cannot be created");
}

ReplacementFile::ReplacementFile(std::string target, const ModeSources& sources)
    : target_(std::move(target)), temporary_(target_ + "." + std::string(freshLength, 'X')) {
    limitModeToTargetAnd(sources);
    if (const int injected = injectedFailure(Step::Open)) {
        fail(target_ + " cannot be written", injected);
        return;
    }
    openTemporary(createUnique(temporary_, newFileMode & whileWritten(modeLimit_)),
                  target_ + " cannot be written");
}

void ReplacementFile::limitModeToTargetAnd(const ModeSources& sources) {
    limitModeTo(target_);
    for (const std::string& source : sources) {
        limitModeTo(source);
    }
}

void ReplacementFile::openTemporary(int fd, const std::string& what) {
    if (fd < 0) {
        fail(what, errno);
        return;
    }
    file_ = ::fdopen(fd, "w+");
    if (file_ == nullptr) {
        fail(what, errno);
        ::close(fd);
        std::remove(temporary_.c_str());
        return;
    }
    created_ = true;
    FileSteps::done();
}

ReplacementFile::~ReplacementFile() {
    discard();
}

const std::string& ReplacementFile::writtenName() const {
    return writtenName_.empty() ? temporary_ : writtenName_;
}

void ReplacementFile::fail(const std::string& what, int error) {
    if (failure_.empty()) {
        errorNumber_ = error != 0 ? error : EIO;
        failure_ = what + ": " + std::strerror(errorNumber_);
    }
}

void ReplacementFile::discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    // Only a file this object created and did not put in place is removed.
    if (created_ && !placed_) {
        std::remove(temporary_.c_str());
    }
    created_ = false;
    prepared_ = false;
}

void ReplacementFile::limitModeTo(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        modeLimit_ &= info.st_mode & 07777;
    }
    // At once: one who opens the file while it is written keeps reading it.
    if (file_ != nullptr) {
        if (const int error = narrowMode(::fileno(file_), whileWritten(modeLimit_))) {
            fail(writtenName() + " cannot be written", error);
        }
    }
}

std::string ReplacementFile::pathForWriters() const {
    if (file_ == nullptr) {
        return temporary_;
    }
    const int fd = ::fileno(file_);
    const std::string own = "/proc/self/fd/" + std::to_string(fd);
    struct stat byOwn {};
    struct stat held {};
    const bool same = ::stat(own.c_str(), &byOwn) == 0 && ::fstat(fd, &held) == 0 &&
                      byOwn.st_dev == held.st_dev && byOwn.st_ino == held.st_ino;
    return same ? own : temporary_;
}

void ReplacementFile::write(std::string_view text) {
    if (file_ == nullptr || !failure_.empty()) {
        return;
    }
    if (const int injected = injectedFailure(Step::Write)) {
        fail(writtenName() + " cannot be written", injected);
        return;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        fail(writtenName() + " cannot be written", lastError());
    }
}

int ReplacementFile::sync() {
    errno = 0;
    if (std::fflush(file_) != 0) {
        return lastError();
    }
    // The file this object created, whatever a writer by name wrote into it.
    const int fd = ::fileno(file_);
    int error = injectedFailure(Step::Sync);
    struct stat info {};
    if (error == 0 && ::fstat(fd, &info) != 0) {
        error = lastError();
    }
    if (error == 0) {
        error = checkWritten(fd, info, temporary_, expectedLength_);
    }
    // Never wider than the file it replaces, nor than its source.
    limitModeTo(target_);
    if (error == 0) {
        error = narrowMode(fd, modeLimit_);
    }
    if (error == 0 && time_) {
        const std::timespec times[2] = {*time_, *time_};
        error = ::futimens(fd, times) == 0 ? 0 : lastError();
    }
    if (error == 0 && durable_ && ::fsync(fd) != 0) {
        error = lastError();
    }
    return error;
}

std::string ReplacementFile::prepare() {
    if (prepared_) {
        return {};
    }
    if (file_ == nullptr || !failure_.empty()) {
        discard();
        return failure_.empty() ? temporary_ + " is not open" : failure_;
    }
    int error = sync();
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) {
        error = lastError();
    }
    if (error != 0) {
        fail(writtenName() + " cannot be written", error);
        discard();
        return failure_;
    }
    prepared_ = true;
    FileSteps::done();
    return {};
}

std::string ReplacementFile::putInPlace() {
    if (!prepared_) {
        return failure_.empty() ? temporary_ + " is not complete" : failure_;
    }
    int error = injectedFailure(Step::Rename);
    if (error == 0) {
        error = renameOver(temporary_, target_);
    }
    if (error != 0) {
        fail(target_ + " cannot be replaced", error);
        discard();
        return failure_;
    }
    placed_ = true;
    prepared_ = false;
    if (durable_) {
        syncFolderOf(target_);
    }
    return {};
}

bool ReplacementFile::isFreshTemporaryOf(std::string_view target, std::string_view name) {
    if (name.size() != target.size() + 1 + freshLength || name.substr(0, target.size()) != target ||
        name[target.size()] != '.') {
        return false;
    }
    return name.substr(target.size() + 1).find_first_not_of(freshLetters) == std::string_view::npos;
}

int ReplacementFile::renameOver(const std::string& temporary, const std::string& target) {
    errno = 0;
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        return lastError();
    }
    FileSteps::done();
    return 0;
}

std::string ReplacementFile::commit() {
    std::string reason = prepare();
    return reason.empty() ? putInPlace() : reason;
}

}  // namespace platform
