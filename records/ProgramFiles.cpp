#include "ProgramFiles.h"

#include <cstdio>
#include <filesystem>

#include "Companion.h"
#include "RecordingCommit.h"
#include "RecordingFacts.h"
#include "SampleFile.h"
#include "Slots.h"
#include "UndoStore.h"

namespace records {

namespace {

constexpr const char* partExtension = ".part";
constexpr const char* holdBackPrefix = ".trelmont-hold-";
constexpr std::size_t holdBackDigits = 8;

// A record with its companion and facts.
std::vector<std::string> filesOf(const std::string& record) {
    return {record, companionPath(record), factsPath(record)};
}

}  // namespace

std::vector<std::string> ProgramFiles::records() {
    std::vector<std::string> names{SampleFile::workingFileName};
    for (int slot = 0; slot <= slotCount; ++slot) {
        names.push_back(slotFileName(slot));
    }
    names.emplace_back(UndoStore::recordCopyName);
    names.emplace_back(UndoStore::slotCopyName);
    return names;
}

std::vector<std::string> ProgramFiles::stagedRecords() {
    return {filterTemporary, saveTemporary, toneTemporary};
}

bool ProgramFiles::isRecord(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    for (const std::string& record : records()) {
        if (name == record) {
            return true;
        }
    }
    return false;
}

std::string ProgramFiles::partName(const std::string& target) {
    return target + partExtension;
}

std::vector<std::string> ProgramFiles::leftovers() {
    std::vector<std::string> names;
    for (const std::string& record : records()) {
        for (const std::string& file : filesOf(record)) {
            names.push_back(partName(file));
        }
        names.push_back(partName(intentPath(record)));
    }
    for (const std::string& staged : stagedRecords()) {
        for (const std::string& file : filesOf(staged)) {
            names.push_back(file);
        }
    }
    names.push_back(partName(UndoStore::stateName));
    return names;
}

std::string ProgramFiles::holdBackName(unsigned random) {
    char digits[holdBackDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", random);
    return holdBackPrefix + std::string(digits);
}

bool ProgramFiles::isHoldBackName(const std::string& name) {
    const std::string prefix = holdBackPrefix;
    if (name.size() != prefix.size() + holdBackDigits || name.rfind(prefix, 0) != 0) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

}  // namespace records
