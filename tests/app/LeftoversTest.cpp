#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "acquisition/HeartSignal.h"
#include "tests/support/ProgramShell.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"
#include "tests/support/ToneFiles.h"

// The program removes only what it made, where it may: the window, in its
// own records folder, the exact names it writes there. Files of the user's
// that look like the program's own are never touched, by any way the
// program is run.

namespace {

namespace fs = std::filesystem;

testsupport::ProgramOutcome run(const std::string& arguments) {
    return testsupport::runInShell(TRELMONT_PROGRAM, arguments);
}

using Files = std::map<std::string, std::string>;

Files writeAll(const std::string& folder, const std::vector<std::string>& names) {
    Files files;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        files[path] = "the user's own " + name + "\n";
        EXPECT_TRUE(testsupport::writeBytes(path, files[path]));
    }
    return files;
}

void expectUnchanged(const Files& files, const std::string& after) {
    for (const auto& [path, bytes] : files) {
        ASSERT_TRUE(fs::exists(path)) << path << " is gone after " << after;
        EXPECT_EQ(testsupport::readFile(path), bytes) << path << " after " << after;
    }
}

TEST(Leftovers, LookAlikeFilesStayAndTheWindowRemovesOnlyItsOwn) {
    testsupport::ScratchDirectory scratch;
    const std::vector<std::string> lookAlikes{"REC_x.m4a.part", "REC.txt.bak", "tmppt.notes",
                                              "memo.txt.part", "REC3.commit.bak"};
    // A download folder: the look-alikes, and a RECf.txt, a name FILTER
    // writes only in the window's records folder.
    std::vector<std::string> downloads = lookAlikes;
    downloads.emplace_back("RECf.txt");
    const Files outside = writeAll(".", downloads);
    testsupport::writeWav("tone.wav", 8000, 1,
                          testsupport::simulatorTone(acquisition::HeartSignal{}, 8000, 8.0));
    for (const char* arguments : {"--decode tone.wav REC3.txt", "--decode tone.wav memo.txt",
                                  "--decode tone.wav REC.txt", "--decode tone.wav out.edf",
                                  "--export-edf REC3.txt sent.edf", "--print-pdf strips.pdf"}) {
        const testsupport::ProgramOutcome outcome = run(arguments);
        EXPECT_EQ(outcome.code, 0) << arguments << ": " << outcome.err;
        expectUnchanged(outside, arguments);
    }

    // The window's records folder: the look-alikes stay; what a program
    // ended halfway left under the program's own names goes.
    fs::create_directory("records");
    const Files inside = writeAll("records", lookAlikes);
    const std::vector<std::string> leftovers{"REC.txt.part",
                                             "REC1.info.txt.part",
                                             "RECf.txt",
                                             "tmppt.hr.txt",
                                             "RECd.txt",
                                             "RECd.info.txt",
                                             "REC.commit.part",
                                             "REC.undo.state.part",
                                             ".trelmont-hold-00c0ffee"};
    writeAll("records", leftovers);
    const testsupport::ProgramOutcome window = run("--records records --simulate --record 1");
    EXPECT_EQ(window.code, 0) << window.err;
    expectUnchanged(inside, "the window");
    for (const std::string& name : leftovers) {
        EXPECT_FALSE(fs::exists("records/" + name)) << name;
    }
}

}  // namespace
