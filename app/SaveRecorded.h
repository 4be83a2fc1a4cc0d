#pragma once

#include <string>

#include "acquisition/CaptureDefaults.h"

namespace app {

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
RecordedCopyOutcome saveRecordedCopy(
    int sampleRate = acquisition::defaults::sampleRate,
    int samplesPerBuffer = acquisition::defaults::samplesPerBuffer);

}  // namespace app
