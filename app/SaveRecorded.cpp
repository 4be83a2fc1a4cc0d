#include "SaveRecorded.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "COpenSaveFileDlg.h"
#include "platform/ModalService.h"
#include "records/RecordedCopy.h"
#include "records/Slots.h"

namespace app {

namespace {

// The current directory for the life of the object.
class CurrentDirectoryKeeper {
public:
    CurrentDirectoryKeeper() : saved_(std::filesystem::current_path(error_)) {}
    ~CurrentDirectoryKeeper() {
        if (!error_) {
            std::error_code ignored;
            std::filesystem::current_path(saved_, ignored);
        }
    }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;
    const std::filesystem::path& path() const { return saved_; }

private:
    std::error_code error_;
    std::filesystem::path saved_;
};

bool confirmReplace(const std::string& path) {
    return platform::modalService().askYesNo({path + " already exists.\nDo you want to replace it?",
                                              "Confirm Save As", platform::BoxIcon::Warning});
}

}  // namespace

RecordedCopyOutcome saveRecordedCopy(int sampleRate, int samplesPerBuffer) {
    RecordedCopyOutcome outcome;
    const std::vector<platform::SaveFileRequest::Filter> filters = {
        {"Text Files (REC1.TXT)", records::slotFileName(1), "txt"},
        {"EDF+ (*.edf)", "*.edf", "edf"},
        {"All Files (*.*)", "*.*", ""},
    };
    COpenSaveFileDlg dialog;
    const CurrentDirectoryKeeper directory;
    if (!dialog.askSaveName(filters, "txt", "")) {
        return outcome;
    }
    outcome.path = dialog.fileName();
    std::error_code error;
    if (std::filesystem::exists(outcome.path, error) && !confirmReplace(outcome.path)) {
        return outcome;
    }
    const std::string source = (directory.path() / records::slotFileName(1)).string();
    outcome.reason = records::writeRecordedCopy(source, outcome.path, sampleRate, samplesPerBuffer);
    if (outcome.reason.empty()) {
        outcome.status = RecordedCopyOutcome::Status::Saved;
        return outcome;
    }
    outcome.status = RecordedCopyOutcome::Status::Failed;
    platform::modalService().messageBox(
        {"The recording was not saved to " + outcome.path + ".\n" + outcome.reason + ".",
         "SAVE  RECORDED", platform::BoxIcon::Error});
    return outcome;
}

}  // namespace app
