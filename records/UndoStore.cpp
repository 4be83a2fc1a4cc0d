#include "UndoStore.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

#include "Companion.h"
#include "RecordedCopy.h"
#include "SampleFile.h"
#include "Slots.h"
#include "platform/ReplacementFile.h"

namespace records {

namespace {

// A file as the change left it: its size, its time and a hash of its bytes.
std::string fingerprint(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return "absent";
    }
    std::ifstream in(path, std::ios::binary);
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    char buffer[1 << 15];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ULL;
        }
    }
    std::ostringstream text;
    text << info.st_size << ':' << info.st_mtim.tv_sec << '.' << info.st_mtim.tv_nsec << ':'
         << std::hex << hash;
    return text.str();
}

struct State {
    int slot = UndoStore::noSlot;
    bool recordExisted = false;
    bool slotExisted = false;
    // What the change left; empty while it has not been sealed (a crash
    // during the change), and then any state may be put back.
    std::string recordAfter;
    std::string slotAfter;
};

std::string slotName(int slot) {
    return slot == UndoStore::noSlot ? std::string() : slotFileName(slot);
}

std::optional<State> readState() {
    std::ifstream in(UndoStore::stateName);
    State s;
    std::string tag;
    if (!(in >> tag >> s.slot >> s.recordExisted >> s.slotExisted) || tag != "slot") {
        return std::nullopt;
    }
    if (in >> tag >> s.recordAfter >> s.slotAfter && tag != "after") {
        return std::nullopt;
    }
    return s;
}

std::string writeState(const State& s) {
    platform::ReplacementFile file(UndoStore::stateName);
    std::ostringstream text;
    text << "slot " << s.slot << ' ' << (s.recordExisted ? 1 : 0) << ' ' << (s.slotExisted ? 1 : 0)
         << '\n';
    if (!s.recordAfter.empty()) {
        text << "after " << s.recordAfter << ' ' << s.slotAfter << '\n';
    }
    file.write(text.str());
    return file.commit();
}

bool exists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

// Copies `from` over `to`, or removes `to` when the state had no such file.
std::string putBack(bool existed, const std::string& from, const std::string& to) {
    if (existed) {
        return copyFileBytes(from, to);
    }
    if (std::remove(to.c_str()) != 0 && exists(to)) {
        return to + " cannot be removed";
    }
    return {};
}

// A record's companion goes with it: kept beside its copy when it has one.
std::string keepCompanion(const std::string& record, const std::string& copy) {
    const std::string companion = companionPath(record);
    return exists(companion) ? copyFileBytes(companion, companionPath(copy)) : std::string();
}

// The companion as it was kept with the record's copy, or none when it had
// none.
std::string putBackCompanion(const std::string& copy, const std::string& record) {
    const std::string kept = companionPath(copy);
    return putBack(exists(kept), kept, companionPath(record));
}

}  // namespace

std::string UndoStore::keep(int slot) {
    forget();
    State s;
    s.slot = slot;
    s.recordExisted = exists(SampleFile::workingFileName);
    std::string reason;
    if (s.recordExisted) {
        reason = copyFileBytes(SampleFile::workingFileName, recordCopyName);
    }
    if (reason.empty()) {
        reason = keepCompanion(SampleFile::workingFileName, recordCopyName);
    }
    const std::string slotFile = slotName(slot);
    s.slotExisted = exists(slotFile);
    if (reason.empty() && s.slotExisted) {
        reason = copyFileBytes(slotFile, slotCopyName);
    }
    if (reason.empty() && !slotFile.empty()) {
        reason = keepCompanion(slotFile, slotCopyName);
    }
    if (reason.empty()) {
        reason = writeState(s);
    }
    if (!reason.empty()) {
        forget();
    }
    return reason;
}

void UndoStore::seal() {
    std::optional<State> s = readState();
    if (!s) {
        return;
    }
    s->recordAfter = fingerprint(SampleFile::workingFileName);
    s->slotAfter = s->slot == noSlot ? "none" : fingerprint(slotName(s->slot));
    if (!writeState(*s).empty()) {
        forget();
    }
}

void UndoStore::forget() {
    // The state goes first: without it the copies are never used.
    std::remove(stateName);
    std::remove(slotCopyName);
    std::remove(recordCopyName);
    std::remove(companionPath(slotCopyName).c_str());
    std::remove(companionPath(recordCopyName).c_str());
}

bool UndoStore::available() {
    const std::optional<State> s = readState();
    if (!s || (s->recordExisted && !exists(recordCopyName)) ||
        (s->slotExisted && !exists(slotCopyName))) {
        return false;
    }
    if (s->recordAfter.empty()) {
        return true;
    }
    return fingerprint(SampleFile::workingFileName) == s->recordAfter &&
           (s->slot == noSlot || fingerprint(slotName(s->slot)) == s->slotAfter);
}

std::string UndoStore::restore() {
    if (!available()) {
        return "there is nothing to undo";
    }
    const State s = *readState();
    const std::string slotFile = slotName(s.slot);
    std::string reason;
    if (s.slot != noSlot) {
        reason = putBack(s.slotExisted, slotCopyName, slotFile);
        if (reason.empty()) {
            reason = putBackCompanion(slotCopyName, slotFile);
        }
    }
    if (reason.empty()) {
        reason = putBack(s.recordExisted, recordCopyName, SampleFile::workingFileName);
    }
    if (reason.empty()) {
        reason = putBackCompanion(recordCopyName, SampleFile::workingFileName);
    }
    if (reason.empty()) {
        forget();
    }
    return reason;
}

}  // namespace records
