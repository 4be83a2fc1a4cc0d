#pragma once

#include <string>

namespace records {

// The copy "SAVE  RECORDED" hands on: the record file at `source` byte for
// byte at `target`, or, for a target ending in ".edf", as EDF+ (a record
// without facts at `sampleRate` and `samplesPerBuffer`). Empty on success,
// otherwise why not; the target is then as it was.
std::string writeRecordedCopy(const std::string& source, const std::string& target, int sampleRate,
                              int samplesPerBuffer);

// Whether a chosen name asks for EDF+ (it ends in ".edf", in any case).
bool wantsEdf(const std::string& path);

// Copies a file byte for byte through a temporary file beside the target;
// empty on success, otherwise why not. A source that is not a regular file
// is refused.
std::string copyFileBytes(const std::string& source, const std::string& target);

}  // namespace records
