#include "Controller.h"

#include "platform/WinException.h"
#include "records/RecordCopy.h"
#include "records/SampleFile.h"
#include "records/Slots.h"
#include "render/ScaleDrawing.h"

namespace app {

using acquisition::Painter;

Controller::Controller(platform::WaveInput& input, platform::CaptureWindow& window)
    : window_(window) {
    if (input.deviceCount() == 0) {
        throw platform::WinException("No sound card installed !", 0);
    }
    Painter::PaneList list{};
    for (int i = 0; i < Painter::paneCount; ++i) {
        auto& pane = panes_[static_cast<std::size_t>(i)];
        pane = std::make_unique<render::EcgPane>(i, paneWidth, paneHeight, platform::Rect{});
        list[static_cast<std::size_t>(i)] = pane.get();
        if (i < Painter::livePanes) {
            window_.addPane(pane->surface());
        }
    }
    records::SampleFile::openRead(records::SampleFile::fileName());
    panes_[0]->record().load(records::SampleFile{});

    painter_ = std::make_unique<Painter>(input, this, list, defaultSamplesPerBuffer,
                                         defaultSampleRate, defaultFftPoints);
    std::uint32_t formats = 0;
    if (input.capabilities(0, formats) != platform::MMSYSERR_NOERROR) {
        // No destructor runs for a constructor that throws: withdraw the views
        // of the panes that are about to go.
        window_.removePanes();
        throw platform::WinException("Cannot determine sound card capabilities !", 0);
    }
    window_.onCommand([this](int id, int code, long long value) { command(id, code, value); });
    drawScale();
    painter_->resumeThread();
    // The first start/stop command draws the paper and takes the stop path,
    // which stores the previous run's working recording in the checked slot.
    postCommand(platform::CaptureWindow::startStopId, 0, 0);
}

Controller::~Controller() {
    window_.onCommand(nullptr);
    // The views show the panes' surfaces, which go with this object.
    window_.removePanes();
    // The worker may be waiting for its automatic stop to be handled; the
    // stop request releases it, and the painter's destructor joins it.
    painter_->stopThread();
    painter_.reset();
    // A recording cut short by closing the window stays in the working file,
    // complete and synced; the next start stores it in slot 1.
    records::SampleFile::close();
}

void Controller::postCommand(int id, int code, long long value) {
    window_.postCommand(id, code, value);
}

void Controller::command(int id, int code, long long value) {
    if (id == platform::CaptureWindow::startStopId && code == 0) {
        startStop(value);
    }
}

void Controller::startStop(long long value) {
    if (gridPending_) {
        gridPending_ = false;
        painter_->drawGrid(0);
        stopAndStore();
        return;
    }
    if (value == Painter::automaticStop && idle_) {
        // The worker's request crossed a stop by the user: nothing to do, and
        // it must not start a new recording.
        return;
    }
    if (idle_) {
        idle_ = false;
        if (!painter_->startCapture()) {
            idle_ = true;
        }
        window_.setRecording(!idle_);
        return;
    }
    stopAndStore();
}

void Controller::stopAndStore() {
    painter_->stopCapture();
    idle_ = true;
    window_.setRecording(false);
    records::copyRecordFile(records::slotFileName(checkedSlot()), records::SampleFile::fileName());
}

void Controller::drawScale() {
    window_.setScale(render::drawScale(window_.scaleWidth(), window_.scaleHeight(),
                                       painter_->binForFrequency(1000), painter_->fftPoints()));
}

}  // namespace app
