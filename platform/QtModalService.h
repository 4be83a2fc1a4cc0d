#pragma once

#include "ModalService.h"

namespace platform {

// Shows message boxes as Qt dialogs on the user-interface thread.
class QtModalService final : public ModalService {
public:
    void messageBox(const MessageBoxRequest& request) override;
};

}  // namespace platform
