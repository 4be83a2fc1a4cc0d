#include "DecodeCommand.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/ToneDecoder.h"
#include "records/Companion.h"
#include "records/DecodedOutput.h"
#include "records/FolderLock.h"
#include "records/RecordedCopy.h"
#include "records/RecordingCommit.h"
#include "records/RecordingFacts.h"

namespace app {

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) {
    interrupted.store(true);
}

// Ctrl+C asks the decoding to stop, for the life of the object; so do a
// closed terminal and a polite kill, so that no half-written output stays.
class InterruptWatch {
public:
    InterruptWatch() {
        for (std::size_t i = 0; i < signals.size(); ++i) {
            previous_[i] = std::signal(signals[i], onInterrupt);
        }
    }
    ~InterruptWatch() {
        for (std::size_t i = 0; i < signals.size(); ++i) {
            std::signal(signals[i], previous_[i]);
        }
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

private:
    static constexpr std::array<int, 3> signals{SIGINT, SIGTERM, SIGHUP};
    std::array<void (*)(int), 3> previous_{};
};

// One line on the terminal, rewritten: per cent, minutes of audio, times
// real time.
class ProgressLine {
public:
    explicit ProgressLine(bool shown) : shown_(shown) {}
    ~ProgressLine() {
        if (written_) {
            std::fputc('\n', stderr);
        }
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    void show(double done, double total) {
        const auto now = Clock::now();
        if (!shown_ || now - last_ < std::chrono::milliseconds(200)) {
            return;
        }
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const double speed = elapsed > 0.0 ? done / elapsed : 0.0;
        if (total > 0.0) {
            std::fprintf(stderr, "\r%3.0f %%  %.1f of %.1f min of audio  %.0fx real time   ",
                         std::min(100.0, 100.0 * done / total), done / 60.0, total / 60.0, speed);
        } else {
            std::fprintf(stderr, "\r%.1f min of audio  %.0fx real time   ", done / 60.0, speed);
        }
        std::fflush(stderr);
        written_ = true;
    }

private:
    using Clock = std::chrono::steady_clock;
    bool shown_;
    bool written_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_{};
};

int fail(const std::string& reason) {
    std::fprintf(stderr, "trelmont-ecg: %s\n", reason.c_str());
    return 1;
}

// The output that would replace the tone file itself (the record, its
// companion or its facts under the tone file's name): empty when none.
std::string outputOverTone(const CommandLine& line) {
    std::vector<std::string> outputs{line.decodeTarget};
    if (!records::wantsEdf(line.decodeTarget)) {
        outputs.push_back(records::companionPath(line.decodeTarget));
        outputs.push_back(records::factsPath(line.decodeTarget));
    }
    for (const std::string& output : outputs) {
        std::error_code error;
        if (std::filesystem::equivalent(output, line.decodeTone, error)) {
            return output;
        }
    }
    return {};
}

// Completes the change of the output's recording that a program ended in
// the middle of, and says on standard error what could not be completed.
// Empty, or why the output must not be written: what is left by the name of
// its note (a note this program did not write) would be replaced.
std::string finishCommitOf(const std::string& record) {
    const std::string problems = records::finishInterruptedCommit(record);
    if (records::intentIsLeft(record)) {
        return problems.empty() ? records::intentPath(record) + " is in the way." : problems + ".";
    }
    if (!problems.empty()) {
        std::fprintf(stderr, "trelmont-ecg: a change of a recording could not be completed: %s\n",
                     problems.c_str());
    }
    return {};
}

}  // namespace

int decodeToneFile(const CommandLine& line) {
    const std::string overTone = outputOverTone(line);
    if (!overTone.empty()) {
        return fail(overTone + " is the tone file being decoded: its decoding would replace it. " +
                    line.decodeTarget + " was not written.");
    }
    const std::filesystem::path folder = std::filesystem::path(line.decodeTarget).parent_path();
    const std::string folderName = folder.empty() ? std::string(".") : folder.string();
    std::unique_ptr<records::FolderLock> lock;
    std::unique_ptr<records::DecodedOutput> out;
    if (records::wantsEdf(line.decodeTarget)) {
        out = std::make_unique<records::DecodedEdf>(line.decodeTarget, line.decodeTone);
    } else {
        // A record joins the recordings of its folder: not while a window
        // changes them, and after finishing a change a program left halfway.
        std::string why;
        lock = records::FolderLock::take(folderName, &why);
        if (!lock) {
            return fail(why + " " + line.decodeTarget + " was not written.");
        }
        if (const std::string refused = finishCommitOf(line.decodeTarget); !refused.empty()) {
            return fail(refused + " " + line.decodeTarget + " was not written.");
        }
        out =
            std::make_unique<records::DecodedRecordFiles>(line.decodeTarget, line.decodeTone, true);
    }
    ProgressLine progress(::isatty(STDERR_FILENO) == 1);
    const InterruptWatch watch;
    interrupted.store(false);
    acquisition::DecodeRequest request;
    request.tonePath = line.decodeTone;
    request.channel = line.channel ? *line.channel - 1 : -1;
    request.cancel = &interrupted;
    request.progress = [&progress](double done, double total) { progress.show(done, total); };
    request.now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const acquisition::DecodeResult result = acquisition::decodeToneFile(request, *out);
    // The output goes before the exit: an unfinished one leaves nothing.
    out.reset();
    if (result.status != acquisition::DecodeResult::Status::Written) {
        return fail(result.message);
    }
    for (const std::string& note : result.notes) {
        std::fprintf(stderr, "trelmont-ecg: %s\n", note.c_str());
    }
    std::fprintf(stderr, "trelmont-ecg: %s\n", acquisition::summaryText(result).c_str());
    return 0;
}

}  // namespace app
