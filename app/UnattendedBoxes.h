#pragma once

#include "platform/ModalService.h"

namespace app {

// The modal service of an unattended run: nobody is there to answer, so each
// box goes to standard error and every dialog is cancelled. It remembers
// whether a box warned or reported an error, which makes the run a failure.
class UnattendedBoxes final : public platform::ModalService {
public:
    void openWithDesktop(const std::string& name) override;
    bool failureReported() const { return failures_ > 0; }

protected:
    void showMessageBox(const platform::MessageBoxRequest& request) override;
    int showPopupMenu(const platform::PopupMenuRequest&) override { return 0; }
    int showDialog(const platform::DialogRequest&) override { return 0; }

private:
    int failures_ = 0;
};

}  // namespace app
