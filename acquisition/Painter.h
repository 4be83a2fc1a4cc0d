#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ActiveObject.h"
#include "AutoResetEvent.h"
#include "BufferAnalysis.h"
#include "CaptureOutcome.h"
#include "CommandTarget.h"
#include "CriticalSection.h"
#include "DroppedBytes.h"
#include "PrintJob.h"
#include "Recorder.h"
#include "ToneMarks.h"
#include "platform/Geometry.h"
#include "platform/WaveInput.h"
#include "records/CompanionWriter.h"
#include "records/RecordBuffer.h"
#include "records/RecordEncoding.h"
#include "records/RecordingFacts.h"
#include "records/StoredRecording.h"
#include "render/TraceFactors.h"

namespace render {
class EcgPane;
}

namespace acquisition {

// The capture worker. Its thread waits for completed wave buffers, runs each
// through the spectrum analyser and the high-rate demodulator and hands it to
// the pane the live trace is in, which draws its step (through its ten
// demodulated values, the companion line, where it has them); the worker then
// appends the buffer's ten demodulated values as one line to the working
// recording's companion and its value to the working recording. Under the
// trace it marks the lines the facts will list as without tone or with
// doubtful tone, where they were drawn, as soon as ToneMarks knows them. A
// buffer's ten values are complete only once the next buffer is in (the
// filters look ahead), so each buffer is drawn and stored when the next one
// has been processed, and the last one at the stop. The
// trace runs through panes 0 to 4 and wraps to pane 0; after more than five
// filled panes the worker asks the main window to stop the recording.
//
// Threads: the user-interface thread calls everything public; the worker runs
// threadMain() and processBuffer(). `lock_` guards the recorder and analyser,
// the capture position, the acquisition parameters and the working file's
// close at a stop. The worker never holds it while it waits for the main
// window to handle the automatic stop.
class Painter : public ActiveObject, private BufferSink, private ToneMarks::Watcher {
public:
    static constexpr int paneCount = 20;
    static constexpr int livePanes = 5;
    // The value that marks the start/stop command as the worker's own.
    static constexpr long long automaticStop = -10;

    using PaneList = std::array<render::EcgPane*, paneCount>;

    Painter(platform::WaveInput& input, CommandTarget* window, const PaneList& panes,
            int samplesPerBuffer, int sampleRate, int fftPoints);
    ~Painter() override;

    // Refused when the sound input refuses, Failed when a failed rebuild left
    // nothing to capture with.
    CaptureOutcome startCapture();
    void stopCapture();
    // Not Done: the new settings did not take effect, and capture is stopped.
    CaptureOutcome configure(int samplesPerBuffer, int sampleRate, int fftPoints, int bitsPerSample,
                             double speedFactor, double gainFactor);
    void setSpeedFactor(double x);
    void setGainFactor(double x);
    int binForFrequency(int frequency) const;
    int fftPoints() const;

    // Clears all panes and draws the paper on at most five from `firstPane`.
    void drawGrid(int firstPane);

    // Draws the working recording on the five panes from `firstPane` (pane j
    // shows samples j * n ... j * n + n - 1, n samples to a pane), on fresh
    // paper, with both encodings of stored values taken off: through the
    // lines of its companion those panes show when one belongs to it, else
    // its values; its facts' stretches without and with doubtful tone
    // marked under them. Resets penX of
    // every pane from `firstPane` on. For the user-interface thread while no
    // recording runs.
    void showRecording(int firstPane);
    // Draws FILTER's result, the working recording's values with their
    // baseline wander removed (through its companion, filtered alike, when
    // one belongs), on fresh paper from `firstPane`.
    void showFiltered(int firstPane, const std::vector<double>& filtered);
    // The number of samples a pane shows at the current speed.
    int samplesPerPane(int pane) const;
    // The settings a print job takes: the working recording with its
    // encoding off, one pane's stretch to a strip, the recording's rate,
    // scale and start (from its facts), whether it was filtered, and the
    // gain chosen in the window.
    PrintSettings printSettings();
    // The settings a record without facts is read with: those of the moment.
    records::Inference inference() const;

    // Queries for the window and for tests.
    bool isRecording() const;
    int currentPane() const;
    int filledPanes() const;
    long long processedBuffers() const;
    // The system's error number of the append to the working recording that
    // failed during the last recording, 0 when every value was stored. A
    // failed append stops the processing and asks the window to stop.
    int writeError() const;
    // Whether the worker stopped processing after a failed append and waits
    // for the stop; cleared by the stop.
    bool writeFailed() const;
    // How long the captured buffers have shown no tone of the front end (the
    // strongest bin not standing out of the spectrum), counted from the
    // last buffer that did or the start of the recording.
    double secondsWithoutTone() const;
    // How long the tone has been doubtful (echoes, noise, a fading signal),
    // counted from the first doubtful buffer after half a second of good
    // tone; 0 once the tone has been good for half a second.
    double secondsOfDoubtfulTone() const;
    long long toneBuffers() const;
    long long quietBuffers() const;
    // What the sound input reported when it stopped delivering during the
    // last recording, empty when it did not; kept until the next start.
    std::string deviceFailure() const;
    // Whether the worker saw the input stop and waits for the stop.
    bool deviceFailed() const;
    // Whether the sound input lost sound during the last recording, having
    // found no buffer to fill because the worker fell behind; until the next
    // start.
    bool soundLost() const;
    int bitsPerSample() const;

protected:
    void onThreadStart() override {}
    void threadMain() override;
    void wakeThread() override;

private:
    void processBuffer(int sign);
    // Draws an analysed buffer in the pane the live trace is in and stores
    // it, its companion line first, when the pane draws it. False once the
    // disk refused it.
    bool take(const AnalysedBuffer& buffer) override;
    // The first value of a recording empties the working file and its
    // companion and writes the recording's facts. 0, or the system's error
    // number.
    int openRecordingFiles();
    // A buffer the live trace did not store (a change of pane).
    void noteSkippedBuffer();
    // Buffers the sound input lost just before the one about to be stored:
    // skipped (every reader places the lines after them) and dropped (so
    // that readers can say why).
    void noteLostBuffers(long long count);
    // Appends the lines stored so far to a list of the facts, within what
    // was reserved for it.
    void noteLine(std::vector<long long>& list);
    // At the stop: the facts get the identities of the record and companion
    // just closed, and are synced.
    void completeFacts();
    // The facts of a recording about to start, at the current settings.
    void prepareFacts();
    // 0, or the system's error number.
    int appendValue(const AnalysedBuffer& buffer);
    void wrapIfLastPaneFull(const render::EcgPane& pane);
    // Asks the main window to run its stop path and waits until a stop of the
    // capture has happened or the thread is asked to end.
    void requestAutomaticStop(long long generation);
    void rebuild();
    void noteDeviceFailure(std::string text);
    void noteTone(ToneQuality quality);
    // The analysed buffer's quality, for the notice of a disturbed tone.
    void noteDoubt(ToneQuality quality);
    struct LoadedRecording {
        int count = 0;
        records::Encoding encoding = records::Encoding::Plain;
    };
    // Loads "REC.txt" into pane 0's record with its encoding taken off;
    // returns the number of values and the encoding they had.
    LoadedRecording loadWorkingRecording();
    // What the panes from a first pane show of the working recording besides
    // its values: the companion's lines from `firstLine` when one belongs
    // (empty otherwise), and the facts' stretches without and with doubtful
    // tone.
    struct ShownStretch {
        long long firstLine = 0;
        std::vector<double> companion;
        std::vector<std::pair<long long, long long>> withoutTone;
        std::vector<std::pair<long long, long long>> doubtful;
    };
    ShownStretch readShownStretch(int firstPane) const;
    // Draws the stretches of the list that fall on `pane`, which shows `n`
    // lines from `firstLine`, as marks of `colour`.
    void drawMarks(render::EcgPane& pane, long long firstLine, int n,
                   const std::vector<std::pair<long long, long long>>& stretches,
                   platform::Rgb colour) const;
    void drawRecord(int firstPane,
                    const std::array<double, records::RecordBuffer::capacity>& values, int count,
                    bool freshPaper, const ShownStretch& shown);
    // Marks lines of the recording under way under the live trace, where
    // they were drawn (ToneMarks tells which, as it learns).
    void marked(ToneQuality kind, long long first, long long count) override;
    void forEachPane(const std::function<void(render::EcgPane&)>& action) const;

    platform::WaveInput& input_;
    int samplesPerBuffer_;
    int sampleRate_;
    int fftPoints_;
    int bitsPerSample_ = 16;
    double speedFactor_ = render::factors::defaultSpeed;
    double gainFactor_ = render::factors::defaultGain;
    CommandTarget* window_;
    mutable CriticalSection lock_;
    AutoResetEvent bufferEvent_;
    std::unique_ptr<Recorder> recorder_;
    // Guarded by lock_: the work on every buffer (spectrum, demodulator and
    // the buffers it holds back) and the companion the worker writes.
    std::unique_ptr<BufferAnalysis> analysis_;
    records::CompanionWriter companion_;
    PaneList panes_{};

    // Capture position, guarded by lock_; filledPanes_ is also read by the
    // worker outside the lock, hence atomic.
    int currentPane_ = 0;
    std::atomic<int> filledPanes_{0};
    std::atomic<long long> processedBuffers_{0};
    // Set by the worker when an append fails: the error until the next start,
    // the wish to stop until the next stop.
    std::atomic<int> writeError_{0};
    std::atomic<bool> writeFailed_{false};
    // Written by the worker for every buffer, read by the window's timer.
    using Clock = std::chrono::steady_clock;
    std::atomic<Clock::rep> lastTone_{0};
    std::atomic<long long> toneBuffers_{0};
    std::atomic<long long> quietBuffers_{0};
    // Written by the worker for every analysed buffer, read by the window's
    // timer: when the tone's doubtful run began (0: none) and when it was
    // last doubtful. Each is read on its own; a pair read across an update
    // moves the notice by one check at most.
    std::atomic<Clock::rep> doubtSince_{0};
    std::atomic<Clock::rep> lastDoubt_{0};
    // Set by the worker when the input stops delivering; the text until the
    // next start, the flag until the next stop.
    std::atomic<bool> deviceFailed_{false};
    mutable std::mutex failureMutex_;
    std::string deviceFailure_;
    // What the device dropped, in buffers, guarded by lock_; and whether it
    // dropped anything, set by the worker and read by the window.
    DroppedBytes droppedBytes_;
    std::atomic<bool> soundLost_{false};

    // The facts of the recording under way, guarded by lock_: made when it
    // starts, written when its first value is stored, completed at the stop.
    // Its lists of skipped and dropped buffers are reserved then: no
    // allocation per buffer.
    records::RecordingFacts facts_;
    // The stretches without tone and with doubtful tone among the lines
    // stored, guarded by lock_ as the facts are; reserved with them.
    ToneMarks toneMarks_{1.0};
    // Where the latest stored lines were drawn, line l at l modulo its
    // size: as many as ToneMarks may still tell of. Guarded by lock_, sized
    // when a recording starts.
    struct LinePlace {
        int pane = 0;
        double fromX = 0.0;
        double toX = 0.0;
    };
    std::vector<LinePlace> linePlaces_;
    bool filesOpen_ = false;
    // A change of settings during the recording: its facts no longer hold.
    bool factsInvalid_ = false;
    long long storedLines_ = 0;
    long long buffersThisRecording_ = 0;

    // The automatic-stop handshake between the worker and whoever stops.

    std::mutex stopMutex_;
    std::condition_variable stopDone_;
    long long stopGeneration_ = 0;
};

}  // namespace acquisition
