#include "COpenSaveFileDlg.h"

#include <filesystem>
#include <system_error>

namespace records {

namespace {

// Read once, by the first dialog; the user-interface thread alone uses it.
std::string& directoryBuffer() {
    static std::string directory;
    return directory;
}

bool& directoryRead() {
    static bool read = false;
    return read;
}

}  // namespace

COpenSaveFileDlg::COpenSaveFileDlg() {
    if (!directoryRead()) {
        std::error_code error;
        directoryBuffer() = std::filesystem::current_path(error).string();
        directoryRead() = true;
    }
}

const std::string& COpenSaveFileDlg::initialDirectory() const {
    return directoryBuffer();
}

bool COpenSaveFileDlg::askSaveName(const std::vector<platform::SaveFileRequest::Filter>& filters,
                                   const std::string& defaultExtension, const std::string& title) {
    fileName_.clear();
    platform::SaveFileRequest request;
    request.initialName = initialName;
    request.filters = filters;
    request.defaultExtension = defaultExtension;
    request.initialDirectory = initialDirectory();
    request.title = title;
    const std::optional<std::string> chosen = platform::modalService().saveFileName(request);
    if (!chosen || chosen->empty()) {
        return false;
    }
    fileName_ = *chosen;
    return true;
}

}  // namespace records
