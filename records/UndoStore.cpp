#include "UndoStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "Companion.h"
#include "ProgramFiles.h"
#include "RecordingFacts.h"
#include "SampleFile.h"
#include "Slots.h"
#include "platform/FileSteps.h"
#include "platform/RegularFile.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

constexpr const char* stateHeader = "trelmont-ecg undo, version 1";
constexpr const char* absent = "absent";
// A state is a few hundred bytes.
constexpr std::size_t maxStateLength = 4096;

struct State {
    int slot = UndoStore::noSlot;
    RecordingState recordBefore{absent, absent, absent};
    RecordingState recordAfter{absent, absent, absent};
    RecordingState slotBefore{absent, absent, absent};
    RecordingState slotAfter{absent, absent, absent};
};

std::string slotName(int slot) {
    return slot == UndoStore::noSlot ? std::string() : slotFileName(slot);
}

std::string stateText(const RecordingState& s) {
    return s.record + " " + s.companion + " " + s.facts;
}

bool readState(State& s) {
    const platform::File in = platform::openRegularForReading(UndoStore::stateName);
    if (!in) {
        return false;
    }
    char buffer[maxStateLength + 1];
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, in.get());
    if (got == 0 || got > maxStateLength) {
        return false;
    }
    std::istringstream text(std::string(buffer, got));
    std::string line;
    if (!std::getline(text, line) || line != stateHeader) {
        return false;
    }
    std::string tag;
    const auto states = [&](const char* expected, RecordingState& r) {
        return static_cast<bool>(text >> tag >> r.record >> r.companion >> r.facts) &&
               tag == expected;
    };
    return static_cast<bool>(text >> tag >> s.slot) && tag == "slot" &&
           states("record-before", s.recordBefore) && states("record-after", s.recordAfter) &&
           states("slot-before", s.slotBefore) && states("slot-after", s.slotAfter) &&
           static_cast<bool>(text >> tag) && tag == "end";
}

std::string writeState(const State& s) {
    platform::ReplacementFile file(UndoStore::stateName,
                                   ProgramFiles::partName(UndoStore::stateName),
                                   {SampleFile::workingFileName});
    file.write(std::string(stateHeader) + "\nslot " + std::to_string(s.slot) + "\nrecord-before " +
               stateText(s.recordBefore) + "\nrecord-after " + stateText(s.recordAfter) +
               "\nslot-before " + stateText(s.slotBefore) + "\nslot-after " +
               stateText(s.slotAfter) + "\nend\n");
    return file.commit();
}

void removeFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) {
        platform::FileSteps::done();
    }
}

void removeRecording(const std::string& record) {
    removeFile(factsPath(record));
    removeFile(companionPath(record));
    removeFile(record);
}

// Writes what is left of `in` (the file at `path`) into `out` a piece at a
// time: a long record is hundreds of megabytes. Empty on success,
// otherwise why not.
std::string streamInto(std::FILE* in, const std::string& path, StagedFile& out) {
    char buffer[1 << 15];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        out.write({buffer, got});
    }
    return std::ferror(in) != 0 ? path + " cannot be read" : std::string();
}

// Reads the facts file at `path` whole, as long as facts can be. False,
// with why, when it cannot be read (why stays empty when it does not
// exist).
bool readFactsBytes(const std::string& path, std::string& bytes, std::string& why) {
    const platform::File in = platform::openRegularForReading(path, &why);
    if (!in) {
        return false;
    }
    char buffer[1 << 15];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        bytes.append(buffer, got);
        if (bytes.size() > maxFactsLength) {
            why = path + " is longer than facts can be";
            return false;
        }
    }
    if (std::ferror(in.get()) != 0) {
        why = path + " cannot be read";
        return false;
    }
    return true;
}

// Keeps the recording at `record` as `copy`; `before` is what it holds.
std::string keepRecording(const std::string& record, const std::string& copy,
                          RecordingState& before) {
    before = currentState(record);
    if (before.record == absent) {
        return {};
    }
    std::string reason = copyRecordingBytes(copy, record);
    if (reason.empty() && !(currentState(copy) == before)) {
        reason = record + " changed while it was being kept";
    }
    return reason;
}

// Whether a recording holds one of the two versions an undo knows, or what
// a commit of either left when it failed after its record: that record
// without companion and facts (RecordingCommit removes them, as they would
// not belong to it).
bool knownVersion(const RecordingState& now, const RecordingState& before,
                  const RecordingState& after) {
    const auto recordOnly = [&](const RecordingState& version) {
        return now.record == version.record && now.companion == absent && now.facts == absent;
    };
    return now == before || now == after || recordOnly(before) || recordOnly(after);
}

// Puts one recording back as it was before the change, unless it is so
// already. Empty on success.
std::string putBack(const std::string& record, const std::string& copy,
                    const RecordingState& before, const RecordingState& after) {
    const RecordingState now = currentState(record);
    if (now == before) {
        return {};
    }
    if (!knownVersion(now, before, after)) {
        return record + " has changed since";
    }
    if (before.record == absent) {
        removeRecording(record);
        return {};
    }
    std::string reason = copyRecordingBytes(record, copy);
    if (reason.empty() && !(currentState(record) == before)) {
        reason = record + " could not be put back whole";
    }
    return reason;
}

// Whether a recording is one of the two versions an undo knows, and its
// copy is still the version before.
bool undoable(const std::string& record, const std::string& copy, const RecordingState& before,
              const RecordingState& after) {
    return knownVersion(currentState(record), before, after) &&
           (before.record == absent || currentState(copy) == before);
}

}  // namespace

std::string copyRecordingBytes(const std::string& destination, const std::string& source) {
    std::string why;
    // The facts are the one file read whole: facts are short, and a file
    // longer than facts can be fails the copy before anything is written.
    std::string facts;
    const bool hasFacts = readFactsBytes(factsPath(source), facts, why);
    if (!why.empty()) {
        return why;
    }
    const platform::File record = platform::openRegularForReading(source, &why);
    if (!record) {
        return why.empty() ? source + " does not exist" : why;
    }
    const std::string companionSource = companionPath(source);
    const platform::File companion = platform::openRegularForReading(companionSource, &why);
    if (!companion && !why.empty()) {
        return why;
    }
    RecordingCommit copy(destination, std::nullopt, {source});
    struct stat info {};
    if (::fstat(fileno(record.get()), &info) == 0) {
        copy.keepTime(info.st_mtim);
    }
    std::string reason = streamInto(record.get(), source, copy.record());
    if (reason.empty() && companion) {
        reason = streamInto(companion.get(), companionSource, copy.companion());
    }
    if (!reason.empty()) {
        return reason;
    }
    if (hasFacts) {
        copy.setFactsText(std::move(facts));
    }
    return copy.commit();
}

std::string UndoStore::keep(int slot) {
    forget();
    State s;
    s.slot = slot;
    std::string reason = keepRecording(SampleFile::workingFileName, recordCopyName, s.recordBefore);
    if (reason.empty() && slot != noSlot) {
        reason = keepRecording(slotName(slot), slotCopyName, s.slotBefore);
    }
    // Until the change promises what it will leave, it is taken to leave
    // the recordings as they are.
    s.recordAfter = s.recordBefore;
    s.slotAfter = s.slotBefore;
    if (reason.empty()) {
        reason = writeState(s);
    }
    if (!reason.empty()) {
        forget();
    }
    return reason;
}

std::string UndoStore::promise(const RecordingState& record,
                               const std::optional<RecordingState>& slot) {
    State s;
    std::string reason;
    if (!readState(s)) {
        reason = std::string(stateName) + " cannot be read back";
    } else {
        s.recordAfter = record;
        if (slot) {
            s.slotAfter = *slot;
        }
        reason = writeState(s);
    }
    if (!reason.empty()) {
        forget();
    }
    return reason;
}

void UndoStore::forget() {
    // The state goes first: without it the copies are never used.
    removeFile(stateName);
    removeRecording(slotCopyName);
    removeRecording(recordCopyName);
}

bool UndoStore::available() {
    State s;
    if (!readState(s)) {
        return false;
    }
    return undoable(SampleFile::workingFileName, recordCopyName, s.recordBefore, s.recordAfter) &&
           (s.slot == noSlot ||
            undoable(slotName(s.slot), slotCopyName, s.slotBefore, s.slotAfter));
}

std::string UndoStore::obstacle() {
    std::string why;
    if (platform::isNotRegular(stateName, &why)) {
        return why;
    }
    State s;
    const int slot = readState(s) ? s.slot : noSlot;
    for (const std::string& record : {std::string(SampleFile::workingFileName), slotName(slot),
                                      std::string(recordCopyName), std::string(slotCopyName)}) {
        if (record.empty()) {
            continue;
        }
        for (const std::string& path : {record, companionPath(record), factsPath(record)}) {
            if (platform::isNotRegular(path, &why)) {
                return why;
            }
        }
    }
    return {};
}

std::string UndoStore::restore() {
    State s;
    if (!readState(s) || !available()) {
        return "there is nothing to undo";
    }
    std::string reason;
    if (s.slot != noSlot) {
        reason = putBack(slotName(s.slot), slotCopyName, s.slotBefore, s.slotAfter);
    }
    if (reason.empty()) {
        reason =
            putBack(SampleFile::workingFileName, recordCopyName, s.recordBefore, s.recordAfter);
    }
    if (reason.empty()) {
        forget();
    }
    return reason;
}

}  // namespace records
