#pragma once

#include <array>
#include <memory>

#include "acquisition/CommandTarget.h"
#include "acquisition/Painter.h"
#include "platform/CaptureWindow.h"
#include "platform/WaveInput.h"
#include "render/EcgPane.h"

namespace app {

// The one object behind the recording window: owns the twenty panes and the
// capture worker, and runs the start/stop button's state machine. A stop,
// whether the user's or the worker's own, stores the working recording in
// slot 1. Used only on the user-interface thread; the worker reaches it only
// through postCommand(), which queues.
class Controller final : public acquisition::CommandTarget {
public:
    static constexpr int paneWidth = 958;
    static constexpr int paneHeight = 124;
    static constexpr int defaultSampleRate = 199680;
    static constexpr int defaultSamplesPerBuffer = 4096;
    static constexpr int defaultFftPoints = 4096;

    Controller(platform::WaveInput& input, platform::CaptureWindow& window);
    ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    void postCommand(int id, int code, long long value) override;
    void command(int id, int code, long long value);

    bool idle() const { return idle_; }
    int checkedSlot() const { return 1; }
    acquisition::Painter& painter() { return *painter_; }
    render::EcgPane& pane(int i) { return *panes_[static_cast<std::size_t>(i)]; }

private:
    void startStop(long long value);
    void stopAndStore();
    void drawScale();

    platform::CaptureWindow& window_;
    bool idle_ = false;
    bool gridPending_ = true;
    std::array<std::unique_ptr<render::EcgPane>, acquisition::Painter::paneCount> panes_;
    std::unique_ptr<acquisition::Painter> painter_;
};

}  // namespace app
