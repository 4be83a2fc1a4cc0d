#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/ToneDecoder.h"
#include "platform/FileSteps.h"
#include "records/DecodedOutput.h"
#include "records/EdfExport.h"
#include "records/FilteredRecording.h"
#include "records/PartialSave.h"
#include "records/ProgramFiles.h"
#include "records/RecordCopy.h"
#include "records/RecordingCommit.h"
#include "records/SampleFile.h"
#include "records/UndoStore.h"
#include "records/UndoableReplace.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"
#include "tests/support/ToneFiles.h"

namespace records {
namespace {

using testsupport::makeLines;

std::optional<std::string> bytesOf(const std::string& path) {
    if (!std::filesystem::exists(path)) {
        return std::nullopt;
    }
    return testsupport::readFile(path);
}

// A recording's three files as they lie on disk (none where absent).
struct Files {
    std::optional<std::string> record;
    std::optional<std::string> companion;
    std::optional<std::string> facts;
    bool operator==(const Files&) const = default;
};

Files filesOf(const std::string& record) {
    return {bytesOf(record), bytesOf(companionPath(record)), bytesOf(factsPath(record))};
}

// How every reader must take one version of a recording.
struct Looks {
    bool companion = false;
    bool filtered = false;
};

// A recording an operation changes, as it is before and after.
struct Changed {
    std::string record;
    Looks before;
    Looks after;
};

// Where an undo that is available takes the recordings: back to the
// versions before the operation (FILTER, SAVE), on to those after it (the
// undo itself), or nowhere (the copies are no change an undo knows).
enum class UndoGoesTo { Nothing, Before, After };

struct Operation {
    const char* name;
    std::function<bool()> prepare;
    std::function<bool()> run;
    std::vector<Changed> recordings;
    UndoGoesTo undo;
};

bool storeWorking() {
    return testsupport::storeRecording("REC.txt", makeLines(60));
}

// Slot 1 holds an older record without companion or facts.
bool storeWorkingAndOlderSlot() {
    return storeWorking() && testsupport::storeValues("REC1.txt", makeLines(30, 1.0).values);
}

// Six seconds of the front end's tone in a file, as a phone keeps it.
bool storeToneFile() {
    testsupport::writeWav("tone.wav", 8000, 1,
                          testsupport::simulatorTone(acquisition::HeartSignal{}, 8000, 6.0));
    // Its time gives the recording's start: the same in every run.
    testsupport::setModificationTime("tone.wav", {1'700'000'000, 0});
    return std::filesystem::exists("tone.wav");
}

// The tone file decoded as --decode and the window's Ctrl+O decode it.
acquisition::DecodeResult::Status decode(DecodedOutput& out) {
    acquisition::DecodeRequest request;
    request.tonePath = "tone.wav";
    request.now = 2e9;
    return acquisition::decodeToneFile(request, out).status;
}

bool storeWorkingAndSavedStretch() {
    return storeWorkingAndOlderSlot() &&
           saveStretch({11, 40}, 1).status == ChangeOutcome::Status::Done;
}

// The EDF+ header's field at `at` (`size` characters), its blanks cut.
std::string headerField(const std::string& header, std::size_t at, std::size_t size) {
    std::string text = header.substr(at, size);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// Every reader takes the recording as `looks` says: readRecording, and the
// EDF+ export, whose one signal's rate and prefilter field are in its header.
void expectReadAs(const std::string& record, const Looks& looks) {
    SCOPED_TRACE(record);
    StoredRecording recording;
    ASSERT_EQ(readRecording(record, Inference{}, recording), "");
    EXPECT_EQ(!recording.companion.empty(), looks.companion);
    EXPECT_EQ(recording.filtered(), looks.filtered);

    ASSERT_EQ(EdfExport(199680, 4096).write(record, "check.edf"), "");
    const std::string header = testsupport::readFile("check.edf").substr(0, 3 * 256);
    std::filesystem::remove("check.edf");
    ASSERT_EQ(header.size(), 3u * 256);
    const std::size_t signals = std::stoul(header.substr(252, 4));
    const double seconds = std::stod(header.substr(244, 8));
    const double samples = std::stod(header.substr(256 + signals * 216, 8));
    const std::string prefilter = headerField(header, 256 + signals * 136, 80);
    EXPECT_DOUBLE_EQ(samples / seconds, looks.companion ? 487.5 : 48.75);
    EXPECT_EQ(prefilter.rfind("LP:150Hz", 0) == 0, looks.companion) << prefilter;
    EXPECT_EQ(prefilter.find("baseline wander removed (FILTER)") != std::string::npos,
              looks.filtered)
        << prefilter;
}

// Runs `operation` in a child process that ends as a kill would right after
// file step `step`: its exit status, 77 when it was ended there, 0 when the
// operation was done before, 1 when it failed.
int runEndedAfter(int step, const std::function<bool()>& operation) {
    const pid_t child = ::fork();
    if (child == 0) {
        platform::FileSteps::exitAfterForTests(step);
        ::_exit(operation() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> temporariesLeft() {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        const std::string extension = entry.path().extension().string();
        if (extension == ".part" || extension == ".commit" || name.rfind("RECf", 0) == 0 ||
            name.rfind("tmppt", 0) == 0 || name.rfind("RECd", 0) == 0 ||
            ProgramFiles::isHoldBackName(name)) {
            left.push_back(name);
        }
    }
    return left;
}

// Each operation ended after each of its file steps in turn, as a crash or a
// power cut would end it, and the next start completes what it can: every
// recording it touches is then whole, its old version or its new one, and is
// read, exported and undone as that version.
TEST(KillPoints, EveryRecordingIsWholeWhereverAnOperationIsEnded) {
    const Looks plain{true, false};
    const Looks bare{false, false};
    const std::vector<Operation> operations = {
        {"FILTER",
         storeWorking,
         [] {
             std::vector<double> filtered;
             return filterWorkingRecording({}, filtered).status == ChangeOutcome::Status::Done;
         },
         {{"REC.txt", plain, {true, true}}},
         UndoGoesTo::Before},
        {"SAVE into slot 1",
         storeWorkingAndOlderSlot,
         [] {
             const ChangeOutcome outcome = saveStretch({11, 40}, 1);
             return outcome.status == ChangeOutcome::Status::Done && outcome.slot;
         },
         {{"REC.txt", plain, plain}, {"REC1.txt", bare, plain}},
         UndoGoesTo::Before},
        {"undo of SAVE",
         storeWorkingAndSavedStretch,
         [] { return UndoStore::restore().empty(); },
         {{"REC.txt", plain, plain}, {"REC1.txt", plain, bare}},
         UndoGoesTo::After},
        {"stop copy into slot 1",
         [] {
             return storeWorking() && testsupport::storeRecording("REC1.txt", makeLines(40, 2.0));
         },
         [] { return static_cast<bool>(copyRecordFile("REC1.txt", "REC.txt")); },
         {{"REC1.txt", plain, plain}, {"REC.txt", plain, plain}},
         UndoGoesTo::Nothing},
        {"--decode to a record",
         [] {
             return storeToneFile() && testsupport::storeValues("REC3.txt", makeLines(30).values);
         },
         [] {
             DecodedRecordFiles out("REC3.txt", "tone.wav", true);
             return decode(out) == acquisition::DecodeResult::Status::Written;
         },
         {{"REC3.txt", bare, plain}},
         UndoGoesTo::Nothing},
        {"a tone recording opened in the window",
         [] { return storeToneFile() && storeWorkingAndOlderSlot(); },
         [] {
             DecodedRecordFiles out(SampleFile::workingFileName, "tone.wav", false,
                                    ProgramFiles::toneTemporary);
             if (decode(out) != acquisition::DecodeResult::Status::Written) {
                 return false;
             }
             const std::unique_ptr<RecordingCommit> staged = out.release();
             return replaceWorkingRecording(*staged, 1, {}).status == ChangeOutcome::Status::Done;
         },
         {{"REC.txt", plain, plain}, {"REC1.txt", bare, plain}},
         UndoGoesTo::Before},
        {"load of slot 2",
         [] {
             return storeWorking() &&
                    testsupport::storeValues("REC2.txt", makeLines(50, 0.5).values, filterMarker);
         },
         [] { return static_cast<bool>(copyRecordFile("REC.txt", "REC2.txt")); },
         {{"REC.txt", plain, {false, true}}, {"REC2.txt", {false, true}, {false, true}}},
         UndoGoesTo::Nothing},
    };

    for (const Operation& operation : operations) {
        SCOPED_TRACE(operation.name);
        // The versions before and after, from a run to its end.
        std::vector<Files> before;
        std::vector<Files> after;
        {
            const testsupport::ScratchDirectory folder(testsupport::ScratchDirectory::memoryBase());
            ASSERT_TRUE(operation.prepare());
            for (const Changed& changed : operation.recordings) {
                before.push_back(filesOf(changed.record));
            }
            ASSERT_TRUE(operation.run());
            for (const Changed& changed : operation.recordings) {
                after.push_back(filesOf(changed.record));
            }
            SampleFile::close();
        }
        ASSERT_NE(before, after);

        int points = -1;
        for (int step = 1; points < 0; ++step) {
            ASSERT_LT(step, 200);
            SCOPED_TRACE("ended after step " + std::to_string(step));
            const testsupport::ScratchDirectory folder(testsupport::ScratchDirectory::memoryBase());
            ASSERT_TRUE(operation.prepare());
            const int status = runEndedAfter(step, operation.run);
            ASSERT_TRUE(status == 77 || status == 0) << "exit status " << status;
            // The next start.
            ASSERT_EQ(finishInterruptedCommits("."), "");
            EXPECT_EQ(temporariesLeft(), std::vector<std::string>());

            bool atBefore = true;
            bool atAfter = true;
            for (std::size_t i = 0; i < operation.recordings.size(); ++i) {
                const Changed& changed = operation.recordings[i];
                const Files now = filesOf(changed.record);
                atBefore = atBefore && now == before[i];
                atAfter = atAfter && now == after[i];
                if (now == after[i]) {
                    expectReadAs(changed.record, changed.after);
                } else if (now == before[i]) {
                    expectReadAs(changed.record, changed.before);
                } else {
                    ADD_FAILURE() << changed.record << " is neither its old nor its new version";
                }
            }
            if (status == 0) {
                EXPECT_TRUE(atAfter);
                points = step - 1;
            }

            if (operation.undo == UndoGoesTo::Nothing) {
                EXPECT_FALSE(UndoStore::available());
            } else {
                const bool atTarget = operation.undo == UndoGoesTo::Before ? atBefore : atAfter;
                const std::vector<Files>& target =
                    operation.undo == UndoGoesTo::Before ? before : after;
                // Nothing the operation did is beyond the undo's reach.
                EXPECT_TRUE(atTarget || UndoStore::available());
                if (UndoStore::available()) {
                    EXPECT_EQ(UndoStore::restore(), "");
                    for (std::size_t i = 0; i < operation.recordings.size(); ++i) {
                        EXPECT_TRUE(filesOf(operation.recordings[i].record) == target[i])
                            << operation.recordings[i].record << " after the undo";
                    }
                    EXPECT_FALSE(UndoStore::available());
                }
            }
            SampleFile::close();
        }
        std::printf("[          ] %s: %d kill points\n", operation.name, points);
    }
}

// Every file in the folder, by name.
std::map<std::string, std::string> folderNow() {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        files[entry.path().filename().string()] = testsupport::readFile(entry.path().string());
    }
    return files;
}

// A note beside a recording comes from anywhere. One that reaches beyond
// that recording's files, or puts in place a file its commit could not have
// staged, is refused whole: nothing of it is done, it is left where it lies,
// and the start says so. A note that a killed decode left beside a record
// the user named, with fresh temporary names, is still completed.
TEST(KillPoints, ANoteThatReachesBeyondItsRecordingIsRefusedWhole) {
    const auto note = [](const std::string& record, const std::string& steps) {
        std::ofstream(intentPath(record)) << "trelmont-ecg commit, version 1\n" << steps << "end\n";
    };
    const auto put = [](const std::string& temporary, const std::string& target) {
        return "put " + temporary + " " + target + " " + currentState(temporary).record + "\n";
    };
    {
        const testsupport::ScratchDirectory folder(testsupport::ScratchDirectory::memoryBase());
        ASSERT_TRUE(storeWorkingAndOlderSlot());
        for (const char* name : {"REC5.txt.part", "REC5.txt.bak", "REC1.txt.part", "thesis.odt"}) {
            std::ofstream(name) << name << "\n";
        }
        // A look-alike after a step of the note's own, another slot's
        // recording, and a user's file or the companion as a temporary.
        const std::vector<std::pair<std::string, std::string>> notes = {
            {"REC5.txt", put("REC5.txt.part", "REC5.txt") + "remove REC5.txt.bak\n"},
            {"REC5.txt", "remove REC1.txt\n"},
            {"REC5.txt", put("REC1.txt.part", "REC1.txt")},
            {"memo.txt", put("thesis.odt", "memo.txt")},
            {"REC.txt", put("REC.hr.txt", "REC.txt")},
        };
        for (const auto& [record, steps] : notes) {
            SCOPED_TRACE(steps);
            note(record, steps);
            const auto before = folderNow();
            EXPECT_EQ(finishInterruptedCommit(record),
                      intentPath(record) + " is not an intent this program wrote");
            EXPECT_TRUE(folderNow() == before);
            std::filesystem::remove(intentPath(record));
        }
        note("REC5.txt", "remove REC5.txt.bak\n");
        EXPECT_EQ(finishInterruptedCommits("."), "REC5.commit is not an intent this program wrote");
        EXPECT_TRUE(std::filesystem::exists("REC5.txt.bak") &&
                    std::filesystem::exists("REC5.commit"));
    }

    // Completed without a word: every temporary it names is there, whole.
    int completed = 0;
    for (int step = 1, status = 77; status == 77; ++step) {
        ASSERT_LT(step, 200);
        const testsupport::ScratchDirectory folder(testsupport::ScratchDirectory::memoryBase());
        ASSERT_TRUE(storeToneFile());
        status = runEndedAfter(step, [] {
            DecodedRecordFiles out("memo.txt", "tone.wav", true);
            return decode(out) == acquisition::DecodeResult::Status::Written;
        });
        if (status == 77 && std::filesystem::exists("memo.commit")) {
            EXPECT_EQ(finishInterruptedCommit("memo.txt"), "") << "ended after step " << step;
            ++completed;
        }
    }
    EXPECT_GT(completed, 0);
}

}  // namespace
}  // namespace records
