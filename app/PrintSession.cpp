#include "PrintSession.h"

#include <system_error>

#include "Controller.h"
#include "platform/Application.h"
#include "platform/ModalService.h"
#include "resources/DialogTemplates.h"

namespace app {

PrintSession::PrintSession(Controller& controller) : controller_(controller) {}

PrintSession::~PrintSession() {
    job_.reset();
    cancelDialog_.reset();
}

bool PrintSession::start(std::unique_ptr<platform::PrinterSurface> printer,
                         acquisition::PrintSettings settings) {
    if (job_ || !printer) {
        return true;
    }
    job_ = std::make_unique<acquisition::PrintJob>(std::move(printer), std::move(settings));
    cancelDialog_ = std::make_unique<platform::ModelessDialog>(
        resources::printCancelDialogTemplate(), [this](int id) {
            if (id == resources::ids::cancelPrint) {
                cancel();
            }
        });
    cancelDialog_->show();
    controller_.enableWindow(false);
    const std::weak_ptr<int> alive = alive_;
    try {
        job_->start([this, alive] {
            // Handled when no box is open, as every change of the window's
            // state is.
            platform::Application::post([this, alive] {
                platform::afterModal([this, alive] {
                    if (alive.lock()) {
                        finished();
                    }
                });
            });
        });
    } catch (const std::system_error&) {
        finished();
        return false;
    }
    return true;
}

void PrintSession::cancel() {
    platform::Application::beep();
    if (job_) {
        job_->cancel();
    }
    // The dialog goes once its button has finished with it.
    const std::weak_ptr<int> alive = alive_;
    platform::Application::post([this, alive] {
        if (alive.lock()) {
            cancelDialog_.reset();
        }
    });
}

void PrintSession::finished() {
    // The job's thread has run its last step; destroying the job joins it.
    job_.reset();
    cancelDialog_.reset();
    controller_.enableWindow(true);
}

}  // namespace app
