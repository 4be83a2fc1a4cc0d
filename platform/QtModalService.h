#pragma once

#include "ModalService.h"

namespace platform {

// Shows boxes, menus and dialogs with Qt on the user-interface thread.
class QtModalService final : public ModalService {
public:
    void openWithDesktop(const std::string& name) override;

protected:
    void dismissOpen() override;
    void showMessageBox(const MessageBoxRequest& request) override;
    int showPopupMenu(const PopupMenuRequest& request) override;
    int showDialog(const DialogRequest& request) override;
    bool showYesNo(const MessageBoxRequest& request) override;
    std::optional<SaveFileChoice> showSaveFileDialog(const SaveFileRequest& request) override;
    std::unique_ptr<PrinterSurface> showPrintDialog(const PrintRequest& request) override;
    std::optional<std::string> showOpenFileDialog(const OpenFileRequest& request) override;
};

}  // namespace platform
