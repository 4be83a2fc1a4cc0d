#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>

#include "FileDescriptor.h"

namespace platform {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading ("r") only if it is a regular file. A pipe or a
// device may never end, and opening a pipe waits for a writer: the file is
// opened without waiting and looked at before anything is read. Null when it
// cannot be opened; `why` (if given) then says why, naming the path, or stays
// empty when the file does not exist.
File openRegularForReading(const std::string& path, std::string* why = nullptr);

// The same, as a bare read-only descriptor (blocking reads, closed on exec),
// for a reader that reads by offset or hands the descriptor to a library.
FileDescriptor openRegularDescriptor(const std::string& path, std::string* why = nullptr);

// Whether `path` names something that is not a regular file (a pipe, a
// device, a folder); false when it is one or does not exist. The words for
// it, naming the path, in `why`.
bool isNotRegular(const std::string& path, std::string* why = nullptr);

// The permission bits of the file at `path`, or -1 when it does not exist.
int permissionBits(const std::string& path);

}  // namespace platform
