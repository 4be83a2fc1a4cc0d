#pragma once

#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace records {

// A new version of a file, written beside it under a temporary name and put in
// its place only when complete: committed, it is flushed, synced and renamed
// over the target; abandoned (destroyed without a commit, or after a failed
// write), it is removed and the target stays as it was.
class ReplacementFile {
public:
    // With a temporary name of the program's own ("RECf.txt"): whatever has
    // that name is replaced.
    ReplacementFile(std::string target, std::string temporary);
    // With a fresh temporary name beside a target the user chose, so that no
    // file of theirs is ever touched but the target.
    explicit ReplacementFile(std::string target);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Whether the temporary file could be created.
    bool isOpen() const { return file_ != nullptr; }
    // Appends text; a failure is kept and reported by commit().
    void write(std::string_view text);
    // The modification time the new version is to carry (the time its last
    // value was stored) instead of the time it was written.
    void keepTime(const std::timespec& time) {
        time_ = time;
        keepTime_ = true;
    }
    // Puts the new version in place. Empty on success, otherwise why not.
    std::string commit();
    // Why the last step failed, empty when none did.
    const std::string& failure() const { return failure_; }

private:
    void fail(const std::string& what, int error);
    void discard();

    std::string target_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
    std::string failure_;
    std::timespec time_{};
    bool keepTime_ = false;
};

}  // namespace records
