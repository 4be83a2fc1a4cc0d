#include "ToneImport.h"

#include <chrono>
#include <system_error>

#include "platform/Application.h"
#include "platform/ModalService.h"
#include "records/DecodedOutput.h"
#include "records/ProgramFiles.h"
#include "records/SampleFile.h"

namespace app {

ToneImport::~ToneImport() {
    cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool ToneImport::start(const std::string& tonePath, long long maxLines, Done done) {
    if (thread_.joinable()) {
        return true;
    }
    cancel_.store(false);
    done_.store(0.0);
    total_.store(-1.0);
    onDone_ = std::move(done);
    const std::weak_ptr<int> alive = alive_;
    try {
        thread_ = std::thread([this, alive, tonePath, maxLines] {
            Finished finished;
            finished.tonePath = tonePath;
            auto out = std::make_unique<records::DecodedRecordFiles>(
                records::SampleFile::workingFileName, tonePath, false,
                records::ProgramFiles::toneTemporary);
            acquisition::DecodeRequest request;
            request.tonePath = tonePath;
            request.maxLines = maxLines;
            request.cancel = &cancel_;
            request.progress = [this](double secondsDone, double secondsTotal) {
                done_.store(secondsDone);
                total_.store(secondsTotal);
            };
            request.now =
                std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                    .count();
            finished.result = acquisition::decodeToneFile(request, *out);
            if (finished.result.status == acquisition::DecodeResult::Status::Written) {
                finished.staged = out->release();
            }
            // The staged files are handed over whole, or go with `out`.
            out.reset();
            auto result = std::make_shared<Finished>(std::move(finished));
            // Taken in when no box is open: a box's caller must not find the
            // working recording changed under it.
            platform::Application::post([this, alive, result] {
                platform::afterModal([this, alive, result] {
                    if (alive.lock()) {
                        this->finished(std::move(*result));
                    }
                });
            });
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ToneImport::cancel() {
    cancel_.store(true);
}

void ToneImport::finished(Finished result) {
    // The thread has done its last step; it is joined before anything
    // else happens.
    if (thread_.joinable()) {
        thread_.join();
    }
    Done done = std::move(onDone_);
    onDone_ = nullptr;
    if (done) {
        done(std::move(result));
    }
}

}  // namespace app
