#include "RecordingCommit.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Companion.h"
#include "ProgramFiles.h"
#include "RecordFormat.h"
#include "platform/FileSteps.h"
#include "platform/RegularFile.h"

namespace records {

namespace {

constexpr const char* intentHeader = "trelmont-ecg commit, version 1";
constexpr const char* intentExtension = ".commit";
constexpr const char* absent = "absent";
// An intent names three files; anything longer is not one.
constexpr std::size_t maxIntentLength = 64 * 1024;

std::string nameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string inFolder(const std::string& folder, const std::string& name) {
    return folder == "." ? name : (std::filesystem::path(folder) / name).string();
}

// A file name in an intent line: blanks, controls and '%' as %XX.
std::string encodeName(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f || c == '%') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> decodeName(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        unsigned value = 0;
        if (std::sscanf(text.substr(i + 1, 2).c_str(), "%2x", &value) != 1) {
            return std::nullopt;
        }
        out += static_cast<char>(value);
        i += 2;
    }
    if (out.empty() || out.find('/') != std::string::npos || out == "." || out == "..") {
        return std::nullopt;
    }
    return out;
}

std::string shaOf(const std::string& path) {
    std::string why;
    const std::optional<FileIdentity> identity = identifyFile(path, &why);
    if (identity) {
        return identity->sha256;
    }
    return why.empty() ? absent : "unreadable";
}

void removeFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
        platform::FileSteps::done();
    }
}

// One line of an intent: put TEMPORARY TARGET SHA256, or remove TARGET.
struct IntentStep {
    bool put = false;
    std::string temporary;
    std::string target;
    std::string sha256;
};

std::optional<std::vector<IntentStep>> readIntent(const std::string& path) {
    const platform::File in = platform::openRegularForReading(path);
    if (!in) {
        return std::nullopt;
    }
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) {
        text.append(chunk, got);
        if (text.size() > maxIntentLength) {
            return std::nullopt;
        }
    }
    std::vector<IntentStep> steps;
    std::size_t at = 0;
    bool header = false;
    bool ended = false;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!header) {
            if (line != intentHeader) {
                return std::nullopt;
            }
            header = true;
            continue;
        }
        if (line == "end") {
            ended = true;
            break;
        }
        char verb[16];
        char first[8192];
        char second[8192];
        char sha[80];
        IntentStep step;
        if (std::sscanf(line.c_str(), "%15s %8191s %8191s %79s", verb, first, second, sha) == 4 &&
            std::string(verb) == "put") {
            const auto temporary = decodeName(first);
            const auto target = decodeName(second);
            if (!temporary || !target) {
                return std::nullopt;
            }
            steps.push_back({true, *temporary, *target, sha});
        } else if (std::sscanf(line.c_str(), "%15s %8191s", verb, first) == 2 &&
                   std::string(verb) == "remove") {
            const auto target = decodeName(first);
            if (!target) {
                return std::nullopt;
            }
            steps.push_back({false, {}, *target, {}});
        } else {
            return std::nullopt;
        }
    }
    if (!ended) {
        return std::nullopt;
    }
    return steps;
}

// A recording's three files, each named from its record's name as the
// commit names them: the record, its companion, its facts.
using FileOfRecording = std::string (*)(const std::string&);

std::string recordItself(const std::string& recordPath) {
    return recordPath;
}

constexpr std::array<FileOfRecording, 3> filesOfRecording{recordItself, companionPath, factsPath};

// Whether the commit of the recording at `recordPath` could have written its
// file `fileOf` under the name `temporary`, as stagedFor() names it: for
// one of the program's records, that file of a staged recording or its own
// name with ".part"; for a record the user named, a fresh name beside it.
bool couldStageAs(const std::string& recordPath, FileOfRecording fileOf,
                  const std::string& temporary) {
    const std::string target = fileOf(recordPath);
    if (!ProgramFiles::isRecord(recordPath)) {
        return platform::ReplacementFile::isFreshTemporaryOf(nameOf(target), temporary);
    }
    const std::vector<std::string> staged = ProgramFiles::stagedRecords();
    return temporary == nameOf(ProgramFiles::partName(target)) ||
           std::any_of(staged.begin(), staged.end(),
                       [&](const std::string& record) { return temporary == fileOf(record); });
}

// Whether every step of an intent is one the commit of the recording at
// `recordPath` writes: it names one of that recording's files, and a put
// names a temporary file that commit could have made for it. A note beside
// a recording may come from anywhere; one that reaches any other file, a
// user's or another recording's, is not carried out at all.
bool isIntentOf(const std::string& recordPath, const std::vector<IntentStep>& steps) {
    const auto isStepOf = [&](const IntentStep& step) {
        return std::any_of(
            filesOfRecording.begin(), filesOfRecording.end(), [&](FileOfRecording fileOf) {
                return step.target == nameOf(fileOf(recordPath)) &&
                       (!step.put || couldStageAs(recordPath, fileOf, step.temporary));
            });
    };
    return std::all_of(steps.begin(), steps.end(), isStepOf);
}

// Carries out one intent in `folder`. Empty, or what could not be done.
std::string completeIntent(const std::string& folder, const std::vector<IntentStep>& steps) {
    std::string problems;
    for (const IntentStep& step : steps) {
        const std::string target = inFolder(folder, step.target);
        if (!step.put) {
            removeFile(target);
            continue;
        }
        const std::string temporary = inFolder(folder, step.temporary);
        if (shaOf(temporary) == step.sha256 &&
            platform::ReplacementFile::renameOver(temporary, target) == 0) {
            continue;
        }
        if (shaOf(target) != step.sha256) {
            problems += (problems.empty() ? "" : "; ") + target + " could not be completed";
        }
    }
    platform::syncFolderOf(inFolder(folder, "x"));
    return problems;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

}  // namespace

RecordingState currentState(const std::string& recordPath) {
    return {shaOf(recordPath), shaOf(companionPath(recordPath)), shaOf(factsPath(recordPath))};
}

std::string intentPath(const std::string& recordPath) {
    return besideRecord(recordPath, intentExtension);
}

RecordingCommit::RecordingCommit(std::string recordPath, std::optional<std::string> temporaryRecord,
                                 std::vector<std::string> modeSources)
    : recordPath_(std::move(recordPath)),
      temporaryRecord_(std::move(temporaryRecord)),
      modeSources_(std::move(modeSources)) {
    record_ = stagedFor(recordPath_, temporaryRecord_.value_or(""));
}

RecordingCommit::~RecordingCommit() = default;

std::unique_ptr<StagedFile> RecordingCommit::stagedFor(const std::string& target,
                                                       const std::string& derived) const {
    if (temporaryRecord_) {
        return std::make_unique<StagedFile>(target, derived, modeSources_);
    }
    // The program's own records have temporary names of its own, which the
    // window removes should a program end before their commit; beside a
    // file the user named, fresh names touch nothing of theirs.
    if (ProgramFiles::isRecord(recordPath_)) {
        return std::make_unique<StagedFile>(target, ProgramFiles::partName(target), modeSources_);
    }
    return std::make_unique<StagedFile>(target, modeSources_);
}

StagedFile& RecordingCommit::companion() {
    if (!companion_) {
        companion_ =
            stagedFor(companionPath(recordPath_), companionPath(temporaryRecord_.value_or("")));
    }
    return *companion_;
}

void RecordingCommit::keepTime(const std::timespec& time) {
    time_ = time;
}

void RecordingCommit::limitModeTo(const std::string& path) {
    modeSources_.push_back(path);
    for (StagedFile* file : {record_.get(), companion_.get(), factsFile_.get()}) {
        if (file != nullptr) {
            file->file().limitModeTo(path);
        }
    }
}

std::string RecordingCommit::stage() {
    if (isStaged_ || !failure_.empty()) {
        return failure_;
    }
    const auto prepare = [&](StagedFile& file) {
        if (time_) {
            file.file().keepTime(*time_);
        }
        for (const std::string& source : modeSources_) {
            file.file().limitModeTo(source);
        }
        return file.prepare();
    };
    std::string reason = prepare(*record_);
    if (reason.empty() && companion_) {
        reason = prepare(*companion_);
    }
    if (reason.empty() && (facts_ || factsText_)) {
        std::string text;
        if (factsText_) {
            text = *factsText_;
        } else {
            RecordingFacts facts = *facts_;
            facts.record = record_->identity();
            facts.companion =
                companion_ ? std::optional<FileIdentity>(companion_->identity()) : std::nullopt;
            text = formatFacts(facts);
        }
        if (text.size() > maxFactsLength) {
            failure_ = factsPath(recordPath_) + " cannot be written: the facts are longer than " +
                       "any reader takes";
            return failure_;
        }
        factsFile_ = stagedFor(factsPath(recordPath_), factsPath(temporaryRecord_.value_or("")));
        factsFile_->write(text);
        reason = prepare(*factsFile_);
    }
    if (!reason.empty()) {
        // The temporary files go with this object; nothing was changed.
        failure_ = reason;
        return reason;
    }
    staged_.record = record_->identity().sha256;
    staged_.companion = companion_ ? companion_->identity().sha256 : absent;
    staged_.facts = factsFile_ ? factsFile_->identity().sha256 : absent;
    isStaged_ = true;
    return {};
}

std::string RecordingCommit::writeIntent() {
    std::string text = std::string(intentHeader) + "\n";
    const auto put = [&](StagedFile& file) {
        text += "put " + encodeName(nameOf(file.file().temporaryPath())) + " " +
                encodeName(nameOf(file.file().target())) + " " + file.identity().sha256 + "\n";
    };
    const auto remove = [&](const std::string& target) {
        text += "remove " + encodeName(nameOf(target)) + "\n";
    };
    put(*record_);
    companion_ ? put(*companion_) : remove(companionPath(recordPath_));
    factsFile_ ? put(*factsFile_) : remove(factsPath(recordPath_));
    text += "end\n";
    const std::string path = intentPath(recordPath_);
    const std::unique_ptr<platform::ReplacementFile> intent =
        ProgramFiles::isRecord(recordPath_)
            ? std::make_unique<platform::ReplacementFile>(
                  path, ProgramFiles::partName(path),
                  platform::ReplacementFile::ModeSources{recordPath_})
            : std::make_unique<platform::ReplacementFile>(
                  path, platform::ReplacementFile::ModeSources{recordPath_});
    intent->write(text);
    return intent->commit();
}

std::string RecordingCommit::commit() {
    std::string reason = stage();
    if (!reason.empty()) {
        return reason;
    }
    reason = writeIntent();
    if (!reason.empty()) {
        return reason;
    }
    // The record first: a failure there leaves the old recording whole.
    reason = record_->file().putInPlace();
    if (!reason.empty()) {
        removeFile(intentPath(recordPath_));
        return reason;
    }
    recordPlaced_ = true;
    const auto putOrRemove = [&](std::unique_ptr<StagedFile>& file, const std::string& target) {
        if (file) {
            return file->file().putInPlace();
        }
        removeFile(target);
        return std::string();
    };
    reason = putOrRemove(companion_, companionPath(recordPath_));
    const std::string facts = putOrRemove(factsFile_, factsPath(recordPath_));
    if (reason.empty()) {
        reason = facts;
    }
    if (!reason.empty()) {
        // The record is new and another file is not: facts that name the
        // new record's identity are not there to vouch for the old
        // companion, so no reader takes it for this recording.
        removeFile(factsPath(recordPath_));
        removeFile(companionPath(recordPath_));
    }
    platform::syncFolderOf(recordPath_);
    removeFile(intentPath(recordPath_));
    return reason;
}

std::string finishInterruptedCommit(const std::string& recordPath) {
    const std::string path = intentPath(recordPath);
    if (platform::permissionBits(path) < 0 || platform::isNotRegular(path)) {
        return {};
    }
    const std::optional<std::vector<IntentStep>> steps = readIntent(path);
    if (!steps || !isIntentOf(recordPath, *steps)) {
        return path + " is not an intent this program wrote";
    }
    std::filesystem::path folder = std::filesystem::path(recordPath).parent_path();
    const std::string problems = completeIntent(folder.empty() ? "." : folder.string(), *steps);
    removeFile(path);
    return problems;
}

bool intentIsLeft(const std::string& recordPath) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(intentPath(recordPath), error);
    return status.type() != std::filesystem::file_type::not_found;
}

std::string finishInterruptedCommits(const std::string& folder) {
    std::string problems;
    for (const std::string& record : ProgramFiles::records()) {
        const std::string problem = finishInterruptedCommit(inFolder(folder, record));
        if (!problem.empty()) {
            problems += (problems.empty() ? "" : "; ") + problem;
        }
    }
    // What a change that never reached its intent left behind: the
    // program's own temporary names, no other.
    for (const std::string& name : ProgramFiles::leftovers()) {
        const std::string path = inFolder(folder, name);
        if (platform::permissionBits(path) >= 0 && !platform::isNotRegular(path)) {
            removeFile(path);
        }
    }
    for (const std::string& name : namesIn(folder)) {
        if (ProgramFiles::isHoldBackName(name) && !platform::isNotRegular(inFolder(folder, name))) {
            removeFile(inFolder(folder, name));
        }
    }
    platform::syncFolderOf(inFolder(folder, "x"));
    return problems;
}

}  // namespace records
