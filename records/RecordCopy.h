#pragma once

#include <memory>
#include <string>

#include "RecordingCommit.h"
#include "StoredRecording.h"

namespace records {

// What became of a copy between record files.
struct CopyOutcome {
    // RecordOnly: the record was stored, but its companion could not be
    // put beside it (the copy then has neither companion nor facts).
    enum class Status { Copied, NoSource, Failed, RecordOnly };
    Status status = Status::Failed;
    // Why it failed, in words for the user ("No space left on device").
    std::string reason;

    explicit operator bool() const { return status == Status::Copied; }
};

// The copy of the recording at `source` as the new version of the one at
// `destination`, staged and not yet committed: the record value by value,
// every line normalised to "%f \n"; its companion when it belongs to it;
// its facts (none for a record without) with the identities of the copy.
// The source is read first: when it cannot be read nothing is staged and
// `outcome` says why (NoSource when it does not exist; a source that is not
// a regular file is refused, since it may never end).
std::unique_ptr<RecordingCommit> stageRecordCopy(const std::string& destination,
                                                 const std::string& source, CopyOutcome& outcome,
                                                 const Inference& inference = {});

// Copies a recording (stageRecordCopy, then the commit): a failed copy never
// leaves a half-written slot, nor a companion or facts of another version.
CopyOutcome copyRecordFile(const std::string& destination, const std::string& source,
                           const Inference& inference = {});

// Commits a staged copy and says what became of it.
CopyOutcome commitRecordCopy(RecordingCommit& copy);

}  // namespace records
