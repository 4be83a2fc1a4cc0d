#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/ScratchDirectory.h"

namespace testsupport {

struct ProgramOutcome {
    int code = -1;
    std::string err;
};

// The program (`program`, the path of the one under test) with `arguments`
// in the current folder, as a shell runs it, `prefix` before it in the same
// shell (a limit, a trap); its standard error kept.
inline ProgramOutcome runInShell(const std::string& program, const std::string& arguments,
                                 const std::string& prefix = "") {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string command =
        "bash -c '" + prefix + " exec " + program + " " + arguments + "' 2>err.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile("err.txt")};
}

}  // namespace testsupport
