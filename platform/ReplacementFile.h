#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A new version of a file, written beside it under a temporary name and put in
// its place only when complete: committed, it is flushed, synced, renamed over
// the target, and the folder is synced so that the rename itself survives a
// power cut; abandoned (destroyed without a commit, or after a failed step),
// it is removed and the target stays as it was, byte for byte.
//
// The one way this program replaces a file: the working recording, the
// slots, the undo copies, the copies and EDF+ exports the user asks for and
// the printout written to a PDF.
class ReplacementFile {
public:
    // The steps a replacement takes, in order.
    enum class Step { Open, Write, Sync, Rename };

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
    // The temporary file's name, for a writer that opens files by name
    // (EDFlib, the PDF printer): it writes the file there, commit() syncs
    // and renames whatever it wrote.
    const std::string& temporaryPath() const { return temporary_; }
    // The modification time the new version is to carry (the time its last
    // value was stored) instead of the time it was written.
    void keepTime(const std::timespec& time) { time_ = time; }
    // The name a failure to write names (the temporary file's own name
    // unless set), for callers whose messages name what the user knows.
    void reportWritesAs(std::string name) { writtenName_ = std::move(name); }
    // Puts the new version in place. Empty on success, otherwise why not.
    std::string commit();
    // Why the last step failed, empty when none did.
    const std::string& failure() const { return failure_; }

    // For tests: every replacement fails at `step` with the system error
    // `error`, as a full disk or a lost device would make it fail, until
    // called again with no step.
    static void failStepForTests(std::optional<Step> step, int error = 0);

private:
    const std::string& writtenName() const;
    void fail(const std::string& what, int error);
    void discard();
    // 0, or the error number with which the new version could not be synced.
    int sync();

    std::string target_;
    std::string temporary_;
    std::string writtenName_;
    std::FILE* file_ = nullptr;
    std::string failure_;
    std::optional<std::timespec> time_;
};

}  // namespace platform
