#pragma once

#include <string>

namespace records {

// Copies a record file value by value, normalising every line to "%f \n".
// The source is opened first: when it cannot be read the destination is left
// untouched. The copy is written to a temporary file beside the destination
// and renamed over it only when complete, so a failed copy never leaves a
// half-written slot. Returns whether the destination now holds the copy.
bool copyRecordFile(const std::string& destination, const std::string& source);

}  // namespace records
