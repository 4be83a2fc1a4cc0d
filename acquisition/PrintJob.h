#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/PrinterSurface.h"
#include "records/RecordingFacts.h"
#include "records/StoredRecording.h"

namespace acquisition {

// What a print job needs, copied on the user-interface thread when the job
// starts, so that the job's thread shares nothing with the screen.
struct PrintSettings {
    // The working recording with its encoding taken off.
    std::vector<double> values;
    // Its companion, ten values to each of `values`, when it belongs to the
    // recording; the strips then draw it instead. Empty otherwise.
    std::vector<double> companion;
    // Samples a strip holds: those of one pane on screen.
    int samplesPerStrip = 0;
    // The recording's facts: its rate, its scale, its start (estimated when
    // no clock measured it), its filter state, the buffers the capture did
    // not store (strips are labelled with their true time), those the sound
    // input lost (the trace breaks there, for as long, and says when it
    // goes on) and the stretches without the front end's tone (marked under
    // the strips).
    records::RecordingFacts facts = defaultFacts();
    // Whether its start can be told at all.
    bool startKnown = false;
    // The gain chosen in the window.
    double millimetresPerMillivolt = 5.0;

    // The default settings' rate and the front end's scale.
    static records::RecordingFacts defaultFacts();
    // Called on the job's thread before each strip: for whoever must act at
    // a known point of a job (a test that cancels it there).
    std::function<void(int strip)> beforeStrip;
};

// Prints the working recording as an electrocardiograph does: strip i is
// pane i's stretch, at 25 mm/s and the window's gain, in bands flowing down
// the pages under a header that states the recording, the scales and the
// page. Runs on a thread of its own; the cancel flag is read between strips
// and aborts the document. A companion, where there is one, is printed in
// place of the values it belongs to: each strip covers the same stretch in
// ten times as many points.
class PrintJob {
public:
    static constexpr const char* documentName = "TrelmontGraph";
    static constexpr int stripsPerPage = 5;
    static constexpr int maxStrips = 20;

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
    // The settings for a recording as read, its first `maxValues` values
    // (those a pane's record holds) with their companion, at
    // `samplesPerStrip` values a strip and the gain chosen.
    static PrintSettings settingsFor(const records::StoredRecording& recording,
                                     std::size_t maxValues, int samplesPerStrip,
                                     double millimetresPerMillivolt);
    // The header lines of page `page` of `pages`.
    static std::vector<std::string> header(const PrintSettings& settings, int page, int pages);
    // "m:ss.s", as strips are labelled with their start.
    static std::string clockText(double seconds);

private:
    std::unique_ptr<platform::PrinterSurface> printer_;
    PrintSettings settings_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> completed_{false};
    std::thread thread_;
};

}  // namespace acquisition
