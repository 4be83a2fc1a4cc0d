#include "RecordedCopy.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "COpenSaveFileDlg.h"
#include "EdfExport.h"
#include "platform/ReplacementFile.h"
#include "Slots.h"
#include "platform/ModalService.h"

namespace records {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string describe(const std::string& what, int error) {
    return what + ": " + std::strerror(error != 0 ? error : EIO);
}

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

std::string copyFileBytes(const std::string& source, const std::string& target) {
    struct stat before {};
    if (::stat(source.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        return source + " is not a regular file";
    }
    const std::unique_ptr<std::FILE, FileCloser> in(std::fopen(source.c_str(), "rb"));
    if (!in) {
        if (errno == ENOENT) {
            return source + " does not exist: there is no stored recording yet";
        }
        return describe(source + " cannot be read", errno);
    }
    struct stat info {};
    if (::fstat(fileno(in.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        return source + " is not a regular file";
    }
    platform::ReplacementFile out(target);
    out.keepTime(info.st_mtim);
    char buffer[1 << 15];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
        out.write({buffer, got});
    }
    if (std::ferror(in.get()) != 0) {
        return describe(source + " cannot be read", errno);
    }
    return out.commit();
}

bool wantsEdf(const std::string& path) {
    constexpr std::string_view edf = ".edf";
    if (path.size() < edf.size()) {
        return false;
    }
    const std::string tail = path.substr(path.size() - edf.size());
    return std::equal(tail.begin(), tail.end(), edf.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

RecordedCopyOutcome saveRecordedCopy(int sampleRate, int samplesPerBuffer) {
    RecordedCopyOutcome outcome;
    const std::vector<platform::SaveFileRequest::Filter> filters = {
        {"Text Files (REC1.TXT)", slotFileName(1), "txt"},
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
    const std::string source = (directory.path() / slotFileName(1)).string();
    outcome.reason = wantsEdf(outcome.path)
                         ? EdfExport(sampleRate, samplesPerBuffer).write(source, outcome.path)
                         : copyFileBytes(source, outcome.path);
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

}  // namespace records
