#include "COpenSaveFileDlg.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace app {

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
    const std::optional<platform::SaveFileChoice> chosen =
        platform::modalService().saveFileName(request);
    if (!chosen || chosen->path.empty()) {
        return false;
    }
    std::string extension = defaultExtension;
    if (chosen->filter >= 0 && static_cast<std::size_t>(chosen->filter) < filters.size() &&
        !filters[static_cast<std::size_t>(chosen->filter)].extension.empty()) {
        extension = filters[static_cast<std::size_t>(chosen->filter)].extension;
    }
    fileName_ = withExtension(chosen->path, extension);
    return true;
}

std::string COpenSaveFileDlg::withExtension(const std::string& typed,
                                            const std::string& extension) {
    const std::string name = std::filesystem::path(typed).filename().string();
    const std::size_t dot = name.rfind('.');
    // A leading dot names a hidden file, not an extension.
    const bool hasExtension = dot != std::string::npos && dot > 0 && dot + 1 < name.size();
    std::string typedExtension = hasExtension ? name.substr(dot + 1) : std::string();
    std::transform(typedExtension.begin(), typedExtension.end(), typedExtension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (typedExtension == "edf" || typedExtension == "txt" || extension.empty()) {
        return typed;
    }
    if (!hasExtension || extension == "edf") {
        // "visit2." asks for no extension of its own either.
        const bool endsInDot = !name.empty() && name.back() == '.';
        return (endsInDot ? typed.substr(0, typed.size() - 1) : typed) + "." + extension;
    }
    return typed;
}

}  // namespace app
