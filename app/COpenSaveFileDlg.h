#pragma once

#include <string>
#include <vector>

#include "platform/ModalService.h"

namespace app {

// The platform's dialog that asks for the name of a file to save to. Every
// dialog starts in the directory that was current when the first one was
// built: the directory of the record files, since the save flow restores the
// current directory after each dialog.
class COpenSaveFileDlg {
public:
    static constexpr const char* initialName = "REC1";

    COpenSaveFileDlg();
    virtual ~COpenSaveFileDlg() = default;
    COpenSaveFileDlg(const COpenSaveFileDlg&) = delete;
    COpenSaveFileDlg& operator=(const COpenSaveFileDlg&) = delete;

    // Offers "REC1" with the filters (the first selected) and the default
    // extension; true when the user confirmed a name.
    bool askSaveName(const std::vector<platform::SaveFileRequest::Filter>& filters,
                     const std::string& defaultExtension, const std::string& title);
    // The full path chosen, with the extension of the file type chosen added
    // where the name needs one.
    const std::string& fileName() const { return fileName_; }

    // A name typed with ".edf" or ".txt" (any case) keeps it: the extension
    // typed wins over the file type chosen. Otherwise the file type's
    // `extension` is added to a name without one; a name with some other
    // extension keeps it, unless the type chosen is EDF+, whose files the
    // medical centre's viewers know only by ".edf".
    static std::string withExtension(const std::string& typed, const std::string& extension);
    const std::string& initialDirectory() const;

private:
    std::string fileName_;
};

}  // namespace app
