#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "acquisition/ToneDecoder.h"
#include "records/RecordingCommit.h"

namespace app {

// A tone recording being decoded for the window, on a thread of its own so
// that the window stays responsive: the decoded recording is staged beside
// the working one ("RECd.txt" with its companion and facts) and handed to
// the user-interface thread, which decides what becomes of it. Owned and
// used on the user-interface thread; the decoding thread touches only what
// it was given and the progress figures.
class ToneImport {
public:
    struct Finished {
        std::string tonePath;
        acquisition::DecodeResult result;
        // The decoded recording, staged, when it was written.
        std::unique_ptr<records::RecordingCommit> staged;
    };
    using Done = std::function<void(Finished finished)>;

    ToneImport() = default;
    // A decoding still running is stopped and waited for; nothing of it is
    // kept, and `done` is not called.
    ~ToneImport();
    ToneImport(const ToneImport&) = delete;
    ToneImport& operator=(const ToneImport&) = delete;

    // Starts decoding `tonePath`, keeping at most `maxLines` lines; `done`
    // runs on the user-interface thread when it is over (also when it was
    // cancelled). False when no thread could be started.
    bool start(const std::string& tonePath, long long maxLines, Done done);
    // Stops the decoding; `done` then says it was cancelled.
    void cancel();
    bool isDecoding() const { return thread_.joinable(); }
    // How far it got: seconds of audio decoded, and the file's duration
    // (negative when unknown).
    double secondsDone() const { return done_.load(); }
    double secondsTotal() const { return total_.load(); }

private:
    void finished(Finished result);

    std::thread thread_;
    std::atomic<bool> cancel_{false};
    std::atomic<double> done_{0.0};
    std::atomic<double> total_{-1.0};
    Done onDone_;
    // Lets the task queued for the user-interface thread see whether this
    // object still exists when it runs.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace app
