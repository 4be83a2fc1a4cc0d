#pragma once

#include <sys/types.h>

#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A new version of a file, written beside it under a temporary name and put in
// its place only when complete: prepared, it is flushed, given its time and
// mode, synced and closed; put in place, it is renamed over the target and the
// folder is synced so that the rename itself survives a power cut; abandoned
// (destroyed before it was put in place, or after a failed step), it is
// removed and the target stays as it was, byte for byte.
//
// Health data stays private: the new version gets the mode the umask gives a
// new file, narrowed to the mode of the file it replaces and of any source it
// was made from, never wider than either, from the moment it is created: one
// who opens a half-written file keeps reading it.
//
// The one way this program replaces a file: a recording's files, the undo
// copies, the copies and EDF+ exports the user asks for and the printout
// written to a PDF.
class ReplacementFile {
public:
    // The steps a replacement takes, in order.
    enum class Step { Open, Write, Sync, Rename };

    // The files the new version is made from: it is created no wider open
    // than any of them.
    using ModeSources = std::vector<std::string>;

    // With a temporary name of the program's own ("RECf.txt"): whatever has
    // that name is replaced.
    ReplacementFile(std::string target, std::string temporary, const ModeSources& sources = {});
    // With a fresh temporary name beside a target the user chose, so that no
    // file of theirs is ever touched but the target.
    explicit ReplacementFile(std::string target, const ModeSources& sources = {});
    // (target, {source}) would name `source` the temporary file: sources
    // come as ModeSources{...}.
    ReplacementFile(std::string target, std::initializer_list<std::string> sources) = delete;
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Whether the temporary file could be created.
    bool isOpen() const { return file_ != nullptr; }
    // Appends text; a failure is kept and reported by prepare() and commit().
    void write(std::string_view text);
    // The temporary file's name, for a writer that opens files by name
    // (EDFlib, the PDF printer): it writes the file there, prepare() syncs
    // whatever it wrote.
    const std::string& temporaryPath() const { return temporary_; }
    // A name that opens the temporary file itself, whatever its name in the
    // folder has become meanwhile (a link put in its place): the process's
    // own name for its descriptor where the system has one, otherwise
    // temporaryPath().
    std::string pathForWriters() const;
    const std::string& target() const { return target_; }
    // The modification time the new version is to carry (the time its last
    // value was stored) instead of the time it was written.
    void keepTime(const std::timespec& time) { time_ = time; }
    // The new version's mode is no wider than that of the file at `path`
    // (the source it was made from), from now on; nothing when there is no
    // such file.
    void limitModeTo(const std::string& path);
    // The length the new version must have once written by name: prepare()
    // fails on any other, with the reason the disk gives for the bytes that
    // are missing (a writer whose buffered writes failed without a word).
    void expectLength(off_t bytes) { expectedLength_ = bytes; }
    // The name a failure to write names (the temporary file's own name
    // unless set), for callers whose messages name what the user knows.
    void reportWritesAs(std::string name) { writtenName_ = std::move(name); }
    // Put in place without syncing the file or the folder: for a file
    // written again, synced, soon after (the facts a recording starts with),
    // where a write must not wait for the disk.
    void skipSync() { durable_ = false; }

    // Completes the temporary file: flushed, its time and mode set, synced
    // and closed, ready to be put in place. Empty on success, otherwise why
    // not (the temporary file is then removed). Once is enough.
    std::string prepare();
    // Renames the prepared file over the target and syncs the folder.
    // Empty on success, otherwise why not.
    std::string putInPlace();
    // prepare() and putInPlace().
    std::string commit();
    // Why the last step failed, empty when none did.
    const std::string& failure() const { return failure_; }
    // The system's error number of the first failure, 0 when none failed.
    int errorNumber() const { return errorNumber_; }

    // The one rename step of every replacement: `temporary`, complete,
    // renamed over `target` (also one a program left to be completed).
    // 0, or the system's error number.
    static int renameOver(const std::string& temporary, const std::string& target);
    // Whether `name` is one the constructor without a temporary name could
    // have given the temporary file of `target` (both names in one folder).
    static bool isFreshTemporaryOf(std::string_view target, std::string_view name);
    bool prepared() const { return prepared_; }

#ifdef TRELMONT_TEST_HOOKS
    // For tests: every replacement fails at `step` with the system error
    // `error`, as a full disk or a lost device would make it fail, until
    // called again with no step. The first `passing` times a replacement
    // reaches the step it goes through, so that a change of several files
    // can fail halfway.
    static void failStepForTests(std::optional<Step> step, int error = 0, int passing = 0);
#endif

private:
    // The mode limit from the target's mode and the sources', before the
    // temporary is created.
    void limitModeToTargetAnd(const ModeSources& sources);
    const std::string& writtenName() const;
    void fail(const std::string& what, int error);
    void discard();
    void openTemporary(int fd, const std::string& what);
    // 0, or the error number with which the new version could not be
    // completed.
    int sync();

    std::string target_;
    std::string temporary_;
    std::string writtenName_;
    std::FILE* file_ = nullptr;
    std::string failure_;
    int errorNumber_ = 0;
    bool durable_ = true;
    std::optional<std::timespec> time_;
    std::optional<off_t> expectedLength_;
    // The permission bits the new version may have at most.
    mode_t modeLimit_ = 07777;
    bool created_ = false;
    bool prepared_ = false;
    bool placed_ = false;
};

// Syncs the folder that holds `path`, so that a rename or a removal in it is
// on the disk.
void syncFolderOf(const std::string& path);

}  // namespace platform
