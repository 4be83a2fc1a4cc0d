#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Sha256.h"

namespace records {

// What ties a recording's files together: a file's number of lines and the
// SHA-256 of its bytes.
struct FileIdentity {
    std::size_t lines = 0;
    std::string sha256;
    bool operator==(const FileIdentity&) const = default;
};

// Takes a file's identity from its bytes as they are written or read.
class IdentityCounter {
public:
    void update(std::string_view bytes);
    FileIdentity result() const;

private:
    platform::Sha256 hash_;
    std::size_t lines_ = 0;
};

// The identity of the regular file at `path`; nothing when it does not
// exist or cannot be read (then `why`, if given, says why: a path that is
// not a regular file is refused, as a pipe may never end).
std::optional<FileIdentity> identifyFile(const std::string& path, std::string* why = nullptr);

}  // namespace records
