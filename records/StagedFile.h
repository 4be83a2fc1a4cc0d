#pragma once

#include <string>
#include <string_view>

#include "FileIdentity.h"
#include "platform/ReplacementFile.h"

namespace records {

// One file of a recording's new version: written under a temporary name
// beside its target, its identity (lines, SHA-256) taken as it is written,
// prepared (synced) before the commit that puts it in place.
class StagedFile {
public:
    using ModeSources = platform::ReplacementFile::ModeSources;

    // Written under the temporary name `temporary`, whatever has it now
    // replaced (a name of the program's own); never wider open than the
    // target or any of `sources`.
    StagedFile(std::string target, std::string temporary, const ModeSources& sources = {});
    // Written under a fresh name beside `target` ("memo.txt.Xa9Qz1"), for a
    // target the user named: no file of theirs is touched but the target.
    explicit StagedFile(std::string target, const ModeSources& sources = {});

    void write(std::string_view text);
    platform::ReplacementFile& file() { return file_; }
    // Completes the temporary file. Empty on success, otherwise why not.
    std::string prepare();
    // The identity of what was written (complete after prepare()).
    FileIdentity identity() const { return counter_.result(); }

private:
    platform::ReplacementFile file_;
    IdentityCounter counter_;
};

}  // namespace records
