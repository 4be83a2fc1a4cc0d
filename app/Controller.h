#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

#include "PrintSession.h"
#include "ScrollTable.h"
#include "ToneImport.h"
#include "ValueList.h"
#include "acquisition/CaptureDefaults.h"
#include "acquisition/CommandTarget.h"
#include "acquisition/Painter.h"
#include "platform/MainDialog.h"
#include "platform/WaveInput.h"
#include "render/EcgPane.h"
#include "render/TraceFactors.h"
#include "resources/DialogTemplates.h"

namespace app {

// The one object behind the main window: owns the twenty panes and the
// capture worker, holds the acquisition and display settings the controls
// show, and keeps the scroll and selection state. Used only on the
// user-interface thread; the worker reaches it only through postCommand(),
// which queues a command for that thread.
class Controller final : public acquisition::CommandTarget {
public:
    static constexpr int paneCount = resources::paneCount;
    // The rates the sampling list offers, one per group of device formats.
    static constexpr int rate11k = acquisition::defaults::sampleRate;
    static constexpr int rate22k = 399360;
    static constexpr int rate44k = 798720;

    // Throws WinException when there is no capture device or its
    // capabilities cannot be read.
    Controller(platform::MainDialog& dialog, platform::WaveInput& input);
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    void postCommand(int id, int code, long long value) override;
    void enableWindow(bool enabled) override;

    // Hands the current settings to the capture worker (posting the quit
    // message with code 1 when it fails) and redraws the scale.
    void applySettings();
    void rebuildTables();
    void drawScale();
    void showRate();
    // Shows the notice while a recording hears no tone, else the one of a
    // disturbed tone while it is, else the one about sound lost during the
    // last recording until the next start; hides it otherwise.
    void updateToneNotice();
    // Looks for the tone, and for the worker's progress, every 400 ms while
    // a recording runs; nothing ticks while the program is idle.
    void watchTone(bool recording);
    // A recording whose worker took no buffer for this long, without asking
    // to stop, stops as one whose sound input went silent does (the sound
    // input's own watch allows a silent device as long).
    static constexpr std::chrono::milliseconds stallLimit{3000};
    // Whether the running recording stalled so; its stop is then posted.
    bool recordingStalled() const { return stalled_; }
    static constexpr const char* noToneNotice =
        "No tone from the ECG front end: check the cable and that it is switched on";
    static constexpr double toneMissingSeconds = 1.0;
    static constexpr const char* soundLostNotice = "Some sound was lost: the computer fell behind";
    static constexpr const char* doubtfulToneNotice =
        "The tone is disturbed: check the cable, or hold the front end closer to the microphone "
        "somewhere quieter";
    static constexpr double toneDoubtfulSeconds = 2.0;
    // Shown by the Shell after the "No sound card installed !" box, in the
    // same band: what to do next.
    static constexpr const char* noInputNotice =
        "No sound input was found. To try the program without an ECG front end, start it "
        "with --simulate";

    // The number (1 to 10) of the first checked slot button, 0 for none.
    int selectedSlot() const;
    void disableSlots();
    void enableFirstSlot();

    platform::MainDialog& dialog() { return dialog_; }
    acquisition::Painter& painter() { return *painter_; }
    PrintSession& printSession() { return *printSession_; }
    ToneImport& toneImport() { return *toneImport_; }
    // Whether a tone recording is being decoded for the window.
    bool decoding() const { return toneImport_->isDecoding(); }
    render::EcgPane& pane(int i) { return *panes_[static_cast<std::size_t>(i)]; }
    const render::EcgPane& pane(int i) const { return *panes_[static_cast<std::size_t>(i)]; }

    // Settings and state, read and written by the command, scroll and mouse
    // handlers.
    bool idle = false;
    int bitsPerSample = 16;
    int sampleRate = acquisition::defaults::sampleRate;
    int fftPoints = acquisition::defaults::fftPoints;
    int samplesPerBuffer = acquisition::defaults::samplesPerBuffer;
    double speedFactor = render::factors::defaultSpeed;
    double gainFactor = render::factors::defaultGain;
    ValueList sampleRateList;
    ValueList fftList;
    ValueList speedList;
    ValueList gainList;
    ScrollTable<int> bufferScroller;
    ScrollTable<float> offsetSlider;
    int firstVisiblePane = 0;
    // Set when the strips were scrolled during a recording: the redraw waits
    // for the stop, so that nothing reads the working file while it grows.
    bool redrawPending = false;
    // The slot a stop could not store the working recording in (0: none, or
    // stored since). Until it is stored nothing replaces the working
    // recording, which is then its only copy.
    int unstoredSlot = 0;
    int downX = 0;
    int downY = 0;
    int downPane = -1;
    int upX = 0;
    int upY = 0;
    int upPane = -1;
    // Kept by the selection between mouse moves: the pane of the last move
    // and the strip it changed (main-window coordinates).
    int lastTrackedPane = -1;
    platform::Rect lastBand{};

private:
    void watchProgress();
    void createPanes();
    void chooseBitDepth(std::uint32_t formats);
    void fillSampleRates(std::uint32_t formats, platform::WaveInput& input);
    void fillLists();
    void releaseViews();

    platform::MainDialog& dialog_;
    std::array<std::unique_ptr<render::EcgPane>, paneCount> panes_;
    std::unique_ptr<acquisition::Painter> painter_;
    // After the painter: a job still printing goes first, and a tone
    // recording still being decoded.
    std::unique_ptr<PrintSession> printSession_;
    std::unique_ptr<ToneImport> toneImport_;
    // The worker's progress as last seen by the tone watch.
    long long lastProcessed_ = 0;
    std::chrono::steady_clock::time_point lastProgress_{};
    bool stalled_ = false;
};

}  // namespace app
