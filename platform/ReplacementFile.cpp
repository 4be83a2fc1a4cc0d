#include "ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace platform {

namespace {

// The step the tests make fail, -1 for none, and the error it fails with.
std::atomic<int> failingStep{-1};
std::atomic<int> failingError{0};

// 0, or the error a test asked `step` to fail with.
int injectedFailure(ReplacementFile::Step step) {
    if (failingStep.load() != static_cast<int>(step)) {
        return 0;
    }
    const int error = failingError.load();
    return error != 0 ? error : EIO;
}

int lastError() {
    return errno != 0 ? errno : EIO;
}

// Syncs the folder that holds `path`, so that a rename in it is on the disk.
// A file system that cannot sync a folder (some refuse with EINVAL) has
// nothing more to give; the file itself is synced already.
void syncFolder(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

void ReplacementFile::failStepForTests(std::optional<Step> step, int error) {
    failingError.store(error);
    failingStep.store(step ? static_cast<int>(*step) : -1);
}

ReplacementFile::ReplacementFile(std::string target, std::string temporary)
    : target_(std::move(target)), temporary_(std::move(temporary)) {
    if (const int injected = injectedFailure(Step::Open)) {
        fail(temporary_ + " cannot be created", injected);
        return;
    }
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
    if (const int injected = injectedFailure(Step::Open)) {
        fail(target_ + " cannot be written", injected);
        return;
    }
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

const std::string& ReplacementFile::writtenName() const {
    return writtenName_.empty() ? temporary_ : writtenName_;
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
    // Through the name: a writer by name may have written the file anew.
    const int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return lastError();
    }
    int error = injectedFailure(Step::Sync);
    if (error == 0 && time_) {
        const std::timespec times[2] = {*time_, *time_};
        error = ::futimens(fd, times) == 0 ? 0 : lastError();
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = lastError();
    }
    ::close(fd);
    return error;
}

std::string ReplacementFile::commit() {
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
        std::remove(temporary_.c_str());
        return failure_;
    }
    error = injectedFailure(Step::Rename);
    if (error == 0 && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = lastError();
    }
    if (error != 0) {
        fail(target_ + " cannot be replaced", error);
        std::remove(temporary_.c_str());
        return failure_;
    }
    syncFolder(target_);
    return {};
}

}  // namespace platform
