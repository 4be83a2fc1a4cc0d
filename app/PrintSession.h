#pragma once

#include <memory>

#include "acquisition/PrintJob.h"
#include "platform/ModelessDialog.h"
#include "platform/PrinterSurface.h"

namespace app {

class Controller;

// The print job under way and its cancel dialog, owned on the user-interface
// thread; the job's thread touches only the job. While a job runs the main
// window is disabled.
class PrintSession {
public:
    explicit PrintSession(Controller& controller);
    // A job still running is cancelled and waited for.
    ~PrintSession();
    PrintSession(const PrintSession&) = delete;
    PrintSession& operator=(const PrintSession&) = delete;

    // Starts a job on a thread of its own with the cancel dialog; false when
    // no thread could be created (nothing is then left running). Ignored
    // while a job runs.
    bool start(std::unique_ptr<platform::PrinterSurface> printer,
               acquisition::PrintSettings settings);
    bool isPrinting() const { return job_ != nullptr; }
    // The cancel dialog of the running job, null when none runs.
    platform::ModelessDialog* cancelDialog() { return cancelDialog_.get(); }

private:
    void cancel();
    void finished();

    Controller& controller_;
    std::unique_ptr<acquisition::PrintJob> job_;
    std::unique_ptr<platform::ModelessDialog> cancelDialog_;
    // Lets tasks queued for the user-interface thread see whether this
    // object still exists when they run.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace app
