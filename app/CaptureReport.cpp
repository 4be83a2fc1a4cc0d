#include "CaptureReport.h"

#include "platform/ModalService.h"

namespace app {

void reportCapture(const acquisition::CaptureOutcome& outcome) {
    using Status = acquisition::CaptureOutcome::Status;
    if (outcome.status == Status::Done || outcome.reason.empty()) {
        return;
    }
    if (outcome.status == Status::Refused) {
        platform::modalService().messageBox({outcome.reason, "Recorder", platform::BoxIcon::None});
    } else {
        platform::modalService().messageBox(
            {outcome.reason, "Exception", platform::BoxIcon::Warning});
    }
}

}  // namespace app
