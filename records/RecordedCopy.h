#pragma once

#include <string>

namespace records {

// "SAVE  RECORDED": asks where to put a copy of slot 1 ("REC1.txt") and copies
// it there byte for byte, or, for a name ending in ".edf" (the "EDF+" file
// type), writes it as EDF+ for the medical centre's viewers; asks first
// before an existing file is replaced.
// A copy that fails is reported in a box that says why. The current
// directory is the same afterwards, wherever the user browsed.
struct RecordedCopyOutcome {
    enum class Status { Saved, Cancelled, Failed };
    Status status = Status::Cancelled;
    std::string path;
    std::string reason;
};

// `sampleRate` and `samplesPerBuffer` are the recording's settings, which
// give the EDF+ sample rate.
RecordedCopyOutcome saveRecordedCopy(int sampleRate = 199680, int samplesPerBuffer = 4096);

// Whether a chosen name asks for EDF+ (it ends in ".edf", in any case).
bool wantsEdf(const std::string& path);

// Copies a file byte for byte through a temporary file beside the target;
// empty on success, otherwise why not. A source that is not a regular file
// is refused.
std::string copyFileBytes(const std::string& source, const std::string& target);

}  // namespace records
