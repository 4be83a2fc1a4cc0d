#include "app/SaveRecorded.h"
#include "tests/support/RecordingFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ModalService.h"
#include "records/RecordTime.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace app {
namespace {

using Names = std::vector<std::string>;
using namespace std::string_literals;

// Plays the user's part in the dialogs and keeps what the program showed.
class ScriptedModalService final : public platform::ModalService {
public:
    std::optional<std::string> chosen;  // nothing: cancel
    int filter = 0;                     // the file type chosen
    std::string browseTo;               // a folder the user browses to before choosing
    bool replace = false;
    std::vector<platform::SaveFileRequest> requests;
    std::vector<platform::MessageBoxRequest> questions, boxes;

    void openWithDesktop(const std::string&) override {}

protected:
    void showMessageBox(const platform::MessageBoxRequest& r) override { boxes.push_back(r); }
    int showPopupMenu(const platform::PopupMenuRequest&) override { return 0; }
    int showDialog(const platform::DialogRequest&) override { return 0; }
    bool showYesNo(const platform::MessageBoxRequest& r) override {
        questions.push_back(r);
        return replace;
    }
    std::optional<platform::SaveFileChoice> showSaveFileDialog(
        const platform::SaveFileRequest& r) override {
        requests.push_back(r);
        if (!browseTo.empty()) {
            std::filesystem::current_path(browseTo);
        }
        if (!chosen) {
            return std::nullopt;
        }
        return platform::SaveFileChoice{*chosen, filter};
    }
};

class SaveRecordedTest : public testsupport::ScratchDirectoryTest {
protected:
    void SetUp() override {
        testsupport::ScratchDirectoryTest::SetUp();
        here = std::filesystem::current_path();
        auto service = std::make_unique<ScriptedModalService>();
        script = service.get();
        previous_ = platform::installModalService(std::move(service));
    }
    void TearDown() override {
        platform::installModalService(std::move(previous_));
        testsupport::ScratchDirectoryTest::TearDown();
    }
    // The dialog hands back the full path.
    std::string path(const std::string& name) const { return (here / name).string(); }

    ScriptedModalService* script = nullptr;
    std::filesystem::path here;

private:
    std::unique_ptr<platform::ModalService> previous_;
};

TEST_F(SaveRecordedTest, CopiesSlotOneByteForByte) {
    const std::string bytes = "57.200000 \r\n801.300000 \r\n\0\xff-1"s;
    writeFile("REC1.txt", bytes);
    writeFile("REC.txt", "1.000000\n");
    script->chosen = path("to-centre.txt");

    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Saved);
    EXPECT_EQ(readFile("to-centre.txt"), bytes);
    EXPECT_TRUE(script->questions.empty());
    EXPECT_TRUE(script->boxes.empty());
    EXPECT_EQ(entries(), (Names{"REC.txt", "REC1.txt", "to-centre.txt"}));

    ASSERT_EQ(script->requests.size(), 1u);
    const platform::SaveFileRequest& request = script->requests[0];
    EXPECT_EQ(request.initialName, "REC1");
    std::vector<std::string> filters;
    for (const auto& filter : request.filters) {
        filters.push_back(filter.label + " | " + filter.pattern);
    }
    EXPECT_EQ(filters, (Names{"Text Files (REC1.TXT) | REC1.txt", "EDF+ (*.edf) | *.edf",
                              "All Files (*.*) | *.*"}));
    EXPECT_EQ(request.defaultExtension, "txt");
    EXPECT_EQ(request.title, "");
}

TEST_F(SaveRecordedTest, CancelOrBrowsingChangesNeitherSourceNorCurrentFolder) {
    writeFile("REC1.txt", "1.000000 \n");
    std::filesystem::create_directory("elsewhere");
    writeFile("elsewhere/REC1.txt", "2.000000 \n");
    script->browseTo = path("elsewhere");
    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Cancelled);
    EXPECT_EQ(std::filesystem::current_path(), here);
    script->chosen = "";
    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Cancelled);
    EXPECT_EQ(entries(), (Names{"REC1.txt", "elsewhere"}));
    EXPECT_EQ(std::filesystem::current_path(), here);

    script->chosen = path("elsewhere/copy.txt");
    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Saved);
    EXPECT_EQ(std::filesystem::current_path(), here);
    EXPECT_EQ(readFile("elsewhere/copy.txt"), "1.000000 \n");
    EXPECT_EQ(readFile("elsewhere/REC1.txt"), "2.000000 \n");

    // Every dialog starts in the folder the first one started in.
    ASSERT_EQ(script->requests.size(), 3u);
    EXPECT_NE(script->requests[0].initialDirectory, "");
    EXPECT_EQ(script->requests[2].initialDirectory, script->requests[0].initialDirectory);
}

TEST_F(SaveRecordedTest, ExistingFileIsReplacedOnlyAfterYes) {
    writeFile("REC1.txt", "57.200000 \n");
    writeFile("earlier.txt", "earlier\n");
    script->chosen = path("earlier.txt");
    EXPECT_NE(saveRecordedCopy().status, RecordedCopyOutcome::Status::Saved);
    EXPECT_EQ(readFile("earlier.txt"), "earlier\n");
    ASSERT_EQ(script->questions.size(), 1u);
    EXPECT_NE(script->questions[0].text.find(path("earlier.txt")), std::string::npos);

    script->replace = true;
    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Saved);
    EXPECT_EQ(readFile("earlier.txt"), "57.200000 \n");

    // Confirming the name offered in the record folder copies slot 1 onto itself.
    script->chosen = path("REC1.txt");
    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Saved);
    EXPECT_EQ(readFile("REC1.txt"), "57.200000 \n");
    EXPECT_EQ(script->questions.size(), 3u);
    EXPECT_TRUE(script->boxes.empty());
    EXPECT_EQ(entries(), (Names{"REC1.txt", "earlier.txt"}));
}

TEST_F(SaveRecordedTest, FailedCopyIsReportedAndChangesNothing) {
    writeFile("earlier.txt", "earlier\n");
    script->chosen = path("earlier.txt");
    script->replace = true;

    const RecordedCopyOutcome outcome = saveRecordedCopy();  // no recording in slot 1 yet
    EXPECT_EQ(outcome.status, RecordedCopyOutcome::Status::Failed);
    EXPECT_NE(outcome.reason, "");
    ASSERT_EQ(script->boxes.size(), 1u);
    EXPECT_EQ(script->boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_NE(script->boxes[0].text.find(path("earlier.txt")), std::string::npos);
    EXPECT_EQ(readFile("earlier.txt"), "earlier\n");

    script->chosen = path("new.txt");
    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Failed);
    // A folder of that name is no recording either.
    std::filesystem::create_directory("REC1.txt");
    EXPECT_EQ(saveRecordedCopy().status, RecordedCopyOutcome::Status::Failed);
    EXPECT_EQ(script->boxes.size(), 3u);
    EXPECT_EQ(entries(), (Names{"REC1.txt", "earlier.txt"}));
    EXPECT_EQ(std::filesystem::current_path(), here);
}

}  // namespace
}  // namespace app

namespace app {
namespace {

// The file type chosen decides the format of a name typed without an
// extension; an extension typed wins over it. A text copy keeps the time of
// the recording.
TEST_F(SaveRecordedTest, TheFileTypeChosenOrTheExtensionTypedDecidesTheFormat) {
    writeFile("REC1.txt", "57.200000 \n62.680000 \n");
    const timespec recorded{1'700'000'000, 250'000'000};
    testsupport::setModificationTime("REC1.txt", recorded);
    struct Case {
        std::string typed;
        int filter;
        std::string written;
        bool edf;
    };
    const std::vector<Case> cases = {
        {"visit2", 1, "visit2.edf", true},      {"visit3", 0, "visit3.txt", false},
        {"visit4.TXT", 1, "visit4.TXT", false}, {"visit5.edf", 0, "visit5.edf", true},
        {"visit6", 2, "visit6.txt", false},     {"visit.7", 1, "visit.7.edf", true},
        {"visit.8", 0, "visit.8", false},       {"visit9.", 1, "visit9.edf", true},
    };
    for (const Case& c : cases) {
        script->chosen = path(c.typed);
        script->filter = c.filter;
        const RecordedCopyOutcome outcome = saveRecordedCopy();
        EXPECT_EQ(outcome.status, RecordedCopyOutcome::Status::Saved) << c.typed;
        EXPECT_EQ(outcome.path, path(c.written)) << c.typed;
        const std::string bytes = readFile(c.written);
        if (c.edf) {
            EXPECT_EQ(bytes.substr(0, 8), "0       ") << c.typed;
        } else {
            EXPECT_EQ(bytes, "57.200000 \n62.680000 \n") << c.typed;
            const auto time = records::modificationTime(c.written);
            ASSERT_TRUE(time);
            EXPECT_EQ(time->tv_sec, recorded.tv_sec);
            EXPECT_EQ(time->tv_nsec, recorded.tv_nsec);
        }
    }
    EXPECT_TRUE(script->questions.empty());
}

}  // namespace
}  // namespace app
