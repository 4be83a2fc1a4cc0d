#pragma once

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "RecordingFacts.h"
#include "StagedFile.h"

namespace records {

// What a recording's three files hold: the SHA-256 of each, or "absent".
// Undo keeps it for the versions before and after a change.
struct RecordingState {
    std::string record;
    std::string companion;
    std::string facts;
    bool operator==(const RecordingState&) const = default;
};

// The state of the recording whose record is at `recordPath`, as its files
// are now. A file that is not a regular file reads as "unreadable".
RecordingState currentState(const std::string& recordPath);

// The one way a recording's files change together (FILTER, SAVE, the slot
// copies, undo, a decoded recording). The new record, companion and facts
// are written under temporary names beside them and synced; then a small
// intent file ("REC.commit" beside "REC.txt") names each with its SHA-256;
// then each is renamed over its file (a file the new version has not is
// removed); then the intent goes. A program ended anywhere leaves either the
// intent, and finishInterruptedCommits() completes the renames it names, or
// none, and the old recording is whole (the temporary files are removed).
class RecordingCommit {
public:
    // The new version of the recording at `recordPath`. Its record is written
    // under `temporaryRecord` (the companion and facts under its companion's
    // and facts' names), or, without one, each file of one of the program's
    // own records under its own name with ".part" added, and each file of a
    // record the user named under a fresh name beside it. A temporary record
    // is one of ProgramFiles::stagedRecords(), for one of the program's
    // records: an interrupted commit is completed only from names like these.
    // No file of it is ever wider open than the one it replaces or any of
    // `modeSources`, from its creation on.
    explicit RecordingCommit(std::string recordPath,
                             std::optional<std::string> temporaryRecord = std::nullopt,
                             std::vector<std::string> modeSources = {});
    ~RecordingCommit();
    RecordingCommit(const RecordingCommit&) = delete;
    RecordingCommit& operator=(const RecordingCommit&) = delete;

    const std::string& recordPath() const { return recordPath_; }
    // Where the new record is written: with a temporary name given, the
    // staged files read as a recording of that name.
    const std::string& temporaryRecord() const { return record_->file().temporaryPath(); }
    StagedFile& record() { return *record_; }
    // The new version's companion: asking for it gives the new version one.
    StagedFile& companion();
    bool hasCompanion() const { return companion_ != nullptr; }
    // The new version's facts, completed with the identities of its record
    // and companion; none for a recording that has none (a record from
    // elsewhere).
    void setFacts(std::optional<RecordingFacts> facts) { facts_ = std::move(facts); }
    // Every file of the new version carries this modification time.
    void keepTime(const std::timespec& time);
    // No file of the new version has a wider mode than the file at `path`,
    // from now on.
    void limitModeTo(const std::string& path);

    // Completes the temporary files, the facts last. Empty on success,
    // otherwise why not (nothing was changed). Once is enough.
    std::string stage();
    // After stage(): what the recording's files will hold.
    RecordingState stagedState() const { return staged_; }
    // Whether commit() put the new record in place (also when a later file
    // failed).
    bool recordPlaced() const { return recordPlaced_; }
    // The facts file's exact text instead of facts made from setFacts() (a
    // copy kept byte for byte).
    void setFactsText(std::optional<std::string> text) { factsText_ = std::move(text); }
    // stage(), then puts the new version in place. Empty on success,
    // otherwise why not: a failure before the first rename leaves the old
    // recording as it was.
    std::string commit();

private:
    // The staged file of `target`: under `derived` with a temporary record
    // name given, otherwise under a temporary name of its own.
    std::unique_ptr<StagedFile> stagedFor(const std::string& target,
                                          const std::string& derived) const;
    std::string writeIntent();

    std::string recordPath_;
    std::optional<std::string> temporaryRecord_;
    std::unique_ptr<StagedFile> record_;
    std::unique_ptr<StagedFile> companion_;
    std::unique_ptr<StagedFile> factsFile_;
    std::optional<RecordingFacts> facts_;
    std::optional<std::timespec> time_;
    std::vector<std::string> modeSources_;
    bool isStaged_ = false;
    std::string failure_;
    std::optional<std::string> factsText_;
    bool recordPlaced_ = false;
    RecordingState staged_;
};

// "REC.txt" -> "REC.commit": where the intent of a commit of that recording
// lies.
std::string intentPath(const std::string& recordPath);

// Completes the commit of the recording at `recordPath` that a program was
// ended in the middle of (its intent names every file), and removes nothing
// else: for --decode, --export-edf and --print-pdf, before they write or
// read that recording. Empty when nothing went wrong, otherwise what could
// not be completed. An intent that cannot be read, or that names any file
// but the recording's three or a temporary name its commit would not have
// given, is not one this program wrote: nothing of it is done, and it is
// left where it lies.
std::string finishInterruptedCommit(const std::string& recordPath);

// Whether anything lies where the intent of a commit of the recording at
// `recordPath` is written (an intent refused, a file or link of another
// kind): that commit would replace it.
bool intentIsLeft(const std::string& recordPath);

// The window's start in its records folder `folder`: completes the
// interrupted commit of each of the program's records, then removes the
// temporary files of changes that never reached their intent (the exact
// names ProgramFiles lists; undo's copies are kept). Empty when nothing
// went wrong, otherwise what could not be completed.
std::string finishInterruptedCommits(const std::string& folder);

}  // namespace records
