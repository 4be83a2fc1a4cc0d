#pragma once

#include <string>
#include <vector>

namespace records {

// Every name this program gives a file in its records folder, in one place:
// the recordings it keeps, and the temporary files a change writes on its
// way there. After a program was ended halfway through a change, the window
// completes what the change's intent names and then removes the temporaries
// left, and only these exact names: a file of the user's that merely looks
// like one ("REC_0815.m4a.part", "REC.txt.bak") is never touched, nor
// anything outside the window's own records folder.
class ProgramFiles {
public:
    // What FILTER, SAVE and an opened tone recording stage their new
    // version under, with its companion and facts beside it.
    static constexpr const char* filterTemporary = "RECf.txt";
    static constexpr const char* saveTemporary = "tmppt.txt";
    static constexpr const char* toneTemporary = "RECd.txt";
    // Those three.
    static std::vector<std::string> stagedRecords();

    // The records the program keeps: "REC.txt", "REC0.txt" to "REC10.txt"
    // and undo's copies.
    static std::vector<std::string> records();
    // Whether `path` names one of them (in any folder).
    static bool isRecord(const std::string& path);
    // What a temporary file of `target` (a file of one of those records, or
    // a commit intent) is written under: "REC.txt.part".
    static std::string partName(const std::string& target);
    // Every temporary name the program may have left in its records folder.
    static std::vector<std::string> leftovers();
    // The name a hold-back file has for a moment on a file system without
    // unnamed files; `random` makes it unique.
    static std::string holdBackName(unsigned random);
    static bool isHoldBackName(const std::string& name);
};

}  // namespace records
