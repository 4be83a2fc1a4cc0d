#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "platform/Geometry.h"
#include "platform/PrinterSurface.h"

namespace acquisition {

// What a print job needs, copied on the user-interface thread when the job
// starts, so that the job's thread shares nothing with the screen.
struct PrintSettings {
    // The working recording with its encoding taken off.
    std::vector<double> values;
    // Samples a strip holds: those of one pane on screen.
    int samplesPerStrip = 0;
    double gainFactor = 3.7;
    float traceOffset = 1.9f;
    // The screen pane's client rectangle, whose picture a strip reproduces.
    platform::Rect paneRect;
    // Called on the job's thread before each strip, for diagnostics and
    // tests that need to act at a known point of a job.
    std::function<void(int strip)> beforeStrip;
};

// Prints the working recording as strips: strip i (pane i's stretch) in band
// i mod 5 of page i / 5 + 1, five strips to a page, each spanning the
// printable width, at the screen's millimetres per millivolt. Runs on a
// thread of its own; the cancel flag is read between strips and aborts the
// document.
class PrintJob {
public:
    static constexpr const char* documentName = "TrelmontGraph";
    static constexpr int stripsPerPage = 5;
    static constexpr int maxStrips = 20;
    // Screen pixels a millimetre of ECG paper (the grid's small square).
    static constexpr double screenPixelsPerMillimetre = 4.0;

    PrintJob(std::unique_ptr<platform::PrinterSurface> printer, PrintSettings settings);
    // Cancels a job still running and waits for its thread, which never
    // waits for anything itself.
    ~PrintJob();
    PrintJob(const PrintJob&) = delete;
    PrintJob& operator=(const PrintJob&) = delete;

    // Starts the thread; `onFinished` runs on it at the very end. Throws
    // std::system_error when no thread can be created.
    void start(std::function<void()> onFinished);
    void cancel();
    bool cancelled() const { return cancelled_.load(); }
    // Whether the job ran to the end and the document was completed.
    bool completed() const { return completed_.load(); }

    // The whole job, on the calling thread: true when the document was
    // completed, false when it failed or was cancelled (and then abandoned).
    static bool print(platform::PrinterSurface& printer, const PrintSettings& settings,
                      const std::atomic<bool>& cancelled);
    // How many strips a recording of m values gives at n samples a strip.
    static int stripCount(int m, int n);

private:
    std::unique_ptr<platform::PrinterSurface> printer_;
    PrintSettings settings_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> completed_{false};
    std::thread thread_;
};

}  // namespace acquisition
