#include "Controller.h"

#include <algorithm>
#include <cmath>

#include "CaptureReport.h"
#include "PaneScrolling.h"
#include "platform/Application.h"
#include "platform/WinException.h"
#include "records/SampleFile.h"
#include "records/Slots.h"
#include "render/ScaleDrawing.h"

namespace app {

using acquisition::Painter;
using platform::MainDialog;
using resources::ids::firstPane;
using resources::ids::firstSlot;

namespace {

constexpr int fftSizes[] = {1024, 2048, 4096, 8192};
constexpr int defaultFftEntry = 2;
constexpr const char* speedLabels[] = {"12.5 mm/sec", "25   mm/sec", "50   mm/sec"};
constexpr int defaultSpeedEntry = 1;
constexpr const char* gainLabels[] = {"5  mm/mV", "10 mm/mV", "20 mm/mV"};
constexpr int defaultGainEntry = 0;
constexpr int paneBorder = 1;
constexpr int initialOffsetEntry = 4;
// The notice comes at most 0.4 s after a second without the tone, and goes
// at most 0.4 s after its return; each check wakes the window, which a
// recording otherwise wakes only to draw. While doubt is under way that has
// not yet lasted long enough for its notice, the next check is set for the
// moment it will have: the notice comes as the doubt reaches two seconds.
constexpr int toneCheckMilliseconds = 400;
// A timer may fire a little early; a check that finds the doubt just short
// of its two seconds looks again this soon.
constexpr int shortestDoubtCheckMilliseconds = 10;

// Milliseconds until doubt of `doubt` seconds lasts long enough for its
// notice, within the ordinary check's period.
int checkWhenDoubtful(double doubt) {
    const double left = std::ceil((Controller::toneDoubtfulSeconds - doubt) * 1000.0) + 1.0;
    return static_cast<int>(std::clamp(left, static_cast<double>(shortestDoubtCheckMilliseconds),
                                       static_cast<double>(toneCheckMilliseconds)));
}

bool anyOf(std::uint32_t formats, std::uint32_t bits) {
    return (formats & bits) != 0;
}

bool supports16Bit(std::uint32_t f) {
    return anyOf(f, platform::WAVE_FORMAT_1M16 | platform::WAVE_FORMAT_1S16 |
                        platform::WAVE_FORMAT_2M16 | platform::WAVE_FORMAT_2S16 |
                        platform::WAVE_FORMAT_4M16 | platform::WAVE_FORMAT_4S16);
}

bool supports11k(std::uint32_t f) {
    return anyOf(f, platform::WAVE_FORMAT_1M08 | platform::WAVE_FORMAT_1S08 |
                        platform::WAVE_FORMAT_1M16 | platform::WAVE_FORMAT_1S16);
}

bool supports22k(std::uint32_t f) {
    return anyOf(f, platform::WAVE_FORMAT_2M08 | platform::WAVE_FORMAT_2S08 |
                        platform::WAVE_FORMAT_2M16 | platform::WAVE_FORMAT_2S16);
}

bool supports44k(std::uint32_t f) {
    return anyOf(f, platform::WAVE_FORMAT_4M08 | platform::WAVE_FORMAT_4S08 |
                        platform::WAVE_FORMAT_4M16 | platform::WAVE_FORMAT_4S16);
}

platform::WaveFormat monoFormat(int sampleRate, int bitsPerSample) {
    platform::WaveFormat format;
    format.formatTag = platform::WAVE_FORMAT_PCM;
    format.channels = 1;
    format.samplesPerSec = static_cast<std::uint32_t>(sampleRate);
    format.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    format.blockAlign = static_cast<std::uint16_t>(bitsPerSample / 8);
    format.avgBytesPerSec = static_cast<std::uint32_t>(sampleRate * bitsPerSample / 8);
    format.extraSize = 0;
    return format;
}

}  // namespace

Controller::Controller(MainDialog& dialog, platform::WaveInput& input)
    : sampleRateList(dialog, resources::ids::sampleRateList),
      fftList(dialog, resources::ids::fftList),
      speedList(dialog, resources::ids::speedList),
      gainList(dialog, resources::ids::gainList),
      bufferScroller(dialog, resources::ids::blockScroller, ScrollTable<int>::Control::ScrollBar),
      offsetSlider(dialog, resources::ids::offsetSlider, ScrollTable<float>::Control::Slider),
      dialog_(dialog) {
    if (input.deviceCount() == 0) {
        throw platform::WinException("No sound card installed !", 0);
    }
    createPanes();
    records::SampleFile::openRead(records::SampleFile::workingFileName);
    panes_[0]->record().load(records::SampleFile{});

    Painter::PaneList list{};
    for (int i = 0; i < paneCount; ++i) {
        list[static_cast<std::size_t>(i)] = panes_[static_cast<std::size_t>(i)].get();
    }
    painter_ =
        std::make_unique<Painter>(input, this, list, samplesPerBuffer, sampleRate, fftPoints);
    printSession_ = std::make_unique<PrintSession>(*this);
    toneImport_ = std::make_unique<ToneImport>();

    std::uint32_t formats = 0;
    if (input.capabilities(0, formats) != platform::MMSYSERR_NOERROR) {
        // No destructor runs for a constructor that throws: the window must
        // not keep showing the surfaces of the panes about to go.
        releaseViews();
        throw platform::WinException("Cannot determine sound card capabilities !", 0);
    }
    dialog_.setWindowIcon(resources::icons::window);
    dialog_.setIcon(resources::ids::aboutButton, resources::icons::about);
    chooseBitDepth(formats);
    rebuildTables();
    fillSampleRates(formats, input);
    fillLists();
    dialog_.check(firstSlot, true);
    // The worker was built for 16 bits at the first rate; a device that
    // cannot record so would refuse every start, so it gets what the
    // controls show.
    if (bitsPerSample != painter_->bitsPerSample() ||
        sampleRate != acquisition::defaults::sampleRate) {
        applySettings();
    }
    drawScale();
    describePanes(*this);
    painter_->resumeThread();
    // The first start/stop command draws the paper and takes the stop path,
    // which stores the previous run's working recording in the checked slot.
    postCommand(resources::ids::startStop, 0, 0);
}

Controller::~Controller() {
    // A print job still running is cancelled and waited for, and a tone
    // recording being decoded: nothing of it is kept.
    printSession_.reset();
    toneImport_.reset();
    dialog_.setTicker(0, nullptr);
    dialog_.hideNotice();
    // The worker may be waiting for its automatic stop to be handled; the
    // stop request releases it.
    const bool workerEnded = painter_->stopThread();
    // A recording cut short by closing the window (or a signal) ends as a
    // stop ends it: the device stopped, the last values stored, and its facts
    // completed with the buffers skipped and lost and the stretches of
    // doubtful tone; the slot copy waits for the next start. A worker still
    // stuck (a disk that does not answer) holds what the stop needs: then
    // the recording stays as it is, read as a killed one.
    if (workerEnded && painter_->isRecording()) {
        painter_->stopCapture();
    }
    platform::Application::postQuit(0);
    releaseViews();
    painter_.reset();
    for (auto& pane : panes_) {
        pane.reset();
    }
    dialog_.setPicture(resources::ids::scalePicture, nullptr);
    // The recording stays in the working file; the next start-up stores it in
    // slot 1.
    records::SampleFile::close();
}

void Controller::createPanes() {
    for (int i = 0; i < paneCount; ++i) {
        const int id = firstPane + i;
        const platform::Rect rect = dialog_.controlRect(id);
        auto& pane = panes_[static_cast<std::size_t>(i)];
        // The pane draws inside the control's one-pixel border.
        pane = std::make_unique<render::EcgPane>(i, rect.width() - 2 * paneBorder,
                                                 rect.height() - 2 * paneBorder, rect);
        pane->homeRect = rect;
        // Only the five panes of the window are shown and can be hit; the
        // others wait, hidden, until scrolling brings them into a slot (a
        // pane left below the slots would catch the pointer at the window's
        // bottom edge, where a drag scrolls the strips on).
        if (i < acquisition::Painter::livePanes) {
            pane->windowRect = rect;
        } else {
            pane->windowRect = {-1, -1, -1, -1};
            dialog_.setVisible(id, false);
        }
        pane->selLeft = 0;
        pane->selRight = 0;
        dialog_.showSurface(id, pane->surface());
    }
}

void Controller::releaseViews() {
    dialog_.withdrawSurfaces();
}

void Controller::chooseBitDepth(std::uint32_t formats) {
    if (supports16Bit(formats)) {
        dialog_.check(resources::ids::bits16, true);
        return;
    }
    dialog_.check(resources::ids::bits8, true);
    bitsPerSample = 8;
    dialog_.enable(resources::ids::bits16, false);
}

void Controller::fillSampleRates(std::uint32_t formats, platform::WaveInput& input) {
    if (supports11k(formats)) {
        sampleRateList.addInteger(rate11k);
    }
    if (supports22k(formats)) {
        sampleRateList.addInteger(rate22k);
    }
    if (supports44k(formats)) {
        sampleRateList.addInteger(rate44k);
    }
    if (sampleRateList.count() > 0) {
        sampleRateList.select(0);
        sampleRate = sampleRateList.selectedInteger();
        return;
    }
    // A device that names none of the classic format groups may still take
    // one of the rates: record at the first it accepts.
    for (const int rate : {rate11k, rate22k, rate44k}) {
        if (input.query(0, monoFormat(rate, bitsPerSample)) == platform::MMSYSERR_NOERROR) {
            sampleRate = rate;
            break;
        }
    }
    showRate();
}

void Controller::fillLists() {
    for (const int size : fftSizes) {
        fftList.addInteger(size);
    }
    fftList.select(defaultFftEntry);
    for (const char* label : speedLabels) {
        speedList.addLabel(label);
    }
    speedList.select(defaultSpeedEntry);
    speedFactor = speedList.selectedReal();
    for (const char* label : gainLabels) {
        gainList.addLabel(label);
    }
    gainList.select(defaultGainEntry);
    gainFactor = gainList.selectedReal();
}

void Controller::postCommand(int id, int code, long long value) {
    dialog_.post(platform::DialogMessage::command(id, code, static_cast<int>(value)));
}

void Controller::updateToneNotice() {
    const bool recording = !idle && painter_->isRecording();
    const bool missing = recording && painter_->secondsWithoutTone() > toneMissingSeconds;
    const double doubt = recording ? painter_->secondsOfDoubtfulTone() : 0.0;
    const bool disturbed = doubt >= toneDoubtfulSeconds;
    if (recording) {
        dialog_.setTickerInterval(doubt > 0.0 && !disturbed ? checkWhenDoubtful(doubt)
                                                            : toneCheckMilliseconds);
    }
    const char* wanted = missing                 ? noToneNotice
                         : disturbed             ? doubtfulToneNotice
                         : painter_->soundLost() ? soundLostNotice
                                                 : nullptr;
    if (wanted != nullptr && (!dialog_.isNoticeShown() || dialog_.noticeText() != wanted)) {
        dialog_.showNotice(wanted);
    } else if (wanted == nullptr && dialog_.isNoticeShown()) {
        dialog_.hideNotice();
    }
}

void Controller::watchTone(bool recording) {
    stalled_ = false;
    lastProcessed_ = painter_->processedBuffers();
    lastProgress_ = std::chrono::steady_clock::now();
    if (recording) {
        dialog_.setTicker(toneCheckMilliseconds, [this] {
            updateToneNotice();
            watchProgress();
        });
    } else {
        dialog_.setTicker(0, nullptr);
    }
    // A start takes the last recording's notice away at once.
    updateToneNotice();
}

void Controller::watchProgress() {
    const long long processed = painter_->processedBuffers();
    const auto now = std::chrono::steady_clock::now();
    // A worker that asks to stop waits for the window, which may be busy
    // with a box: that is no stall.
    const bool asking = painter_->filledPanes() > Painter::livePanes || painter_->writeFailed() ||
                        painter_->deviceFailed();
    if (idle || stalled_ || processed != lastProcessed_ || asking) {
        lastProcessed_ = processed;
        lastProgress_ = now;
        return;
    }
    if (now - lastProgress_ >= stallLimit) {
        // The stop runs as the worker's own request does, when no box is
        // open; the ticker may run inside one.
        stalled_ = true;
        postCommand(resources::ids::startStop, 0, Painter::automaticStop);
    }
}

void Controller::enableWindow(bool enabled) {
    dialog_.setWindowEnabled(enabled);
}

void Controller::applySettings() {
    const acquisition::CaptureOutcome outcome = painter_->configure(
        samplesPerBuffer, sampleRate, fftPoints, bitsPerSample, speedFactor, gainFactor);
    if (!outcome) {
        reportCapture(outcome);
        platform::Application::postQuit(1);
    }
    drawScale();
    describePanes(*this);
}

void Controller::rebuildTables() {
    offsetSlider.clear();
    // Single precision throughout, so the fourth entry is not quite zero.
    for (float x = -9.6f; x < 20.0f; x = x + 3.2f) {
        offsetSlider.push(x);
    }
    offsetSlider.setRange(static_cast<int>(offsetSlider.values().size()), 1);
    offsetSlider.setPosition(initialOffsetEntry);

    bufferScroller.clear();
    int n = fftPoints;
    for (int i = 0; i < ScrollTable<int>::capacity && n > 0; ++i) {
        bufferScroller.push(n);
        n -= 1024;
    }
    bufferScroller.setRange(static_cast<int>(bufferScroller.values().size()), 1);
    samplesPerBuffer = fftPoints;
    bufferScroller.setPosition(0);
    showRate();
}

void Controller::showRate() {
    const int rate = samplesPerBuffer > 0 ? sampleRate / samplesPerBuffer : 0;
    dialog_.setText(resources::ids::rateDisplay, std::to_string(rate));
}

void Controller::drawScale() {
    const int id = resources::ids::scalePicture;
    dialog_.setPicture(id,
                       render::drawScale(dialog_.controlWidth(id), dialog_.controlHeight(id),
                                         painter_->binForFrequency(1000), painter_->fftPoints()));
}

int Controller::selectedSlot() const {
    return records::checkedSlot(
        [this](int slot) { return dialog_.isChecked(firstSlot + slot - 1); });
}

void Controller::disableSlots() {
    for (int k = 1; k <= records::slotCount; ++k) {
        dialog_.enable(firstSlot + k - 1, false);
    }
}

void Controller::enableFirstSlot() {
    dialog_.enable(firstSlot, true);
}

}  // namespace app
