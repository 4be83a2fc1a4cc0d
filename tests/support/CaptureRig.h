#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "acquisition/FrontEndSimulator.h"
#include "acquisition/Painter.h"
#include "records/RecordCopy.h"
#include "render/EcgPane.h"
#include "resources/DialogTemplates.h"

namespace testsupport {

using namespace std::chrono_literals;
using acquisition::CommandTarget;
using acquisition::FrontEndSimulator;
using acquisition::Painter;
using acquisition::SimulatorSettings;

constexpr int defaultRate = 199680;
constexpr int defaultBuffer = 4096;
// Buffers a 958-pixel pane holds at 2.08 pixels a buffer.
constexpr int paneSteps = 461;

// Stands in for the main window: runs posted commands on a thread of its own,
// as the user-interface thread would, with the stop path of the start/stop
// button (stop the capture, copy the recording to slot 1).
class WindowHarness final : public CommandTarget {
public:
    explicit WindowHarness(bool handleCommands = true) : handle_(handleCommands) {
        thread_ = std::thread([this] { run(); });
    }
    ~WindowHarness() {
        {
            std::lock_guard guard(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void attach(Painter& painter) { painter_ = &painter; }

    void postCommand(int id, int code, long long value) override {
        {
            std::lock_guard guard(mutex_);
            queue_.push_back({id, code, value});
        }
        changed_.notify_all();
    }
    bool waitForStops(int count, std::chrono::seconds timeout) {
        std::unique_lock guard(mutex_);
        return changed_.wait_for(guard, timeout, [&] { return stops_ >= count; });
    }
    int posted() {
        std::lock_guard guard(mutex_);
        return posted_;
    }

private:
    struct Command {
        int id;
        int code;
        long long value;
    };
    void run() {
        std::unique_lock guard(mutex_);
        for (;;) {
            changed_.wait(guard, [&] { return quit_ || !queue_.empty(); });
            if (quit_) {
                return;
            }
            const Command c = queue_.front();
            queue_.pop_front();
            ++posted_;
            if (!handle_ || c.id != resources::ids::startStop ||
                c.value != Painter::automaticStop) {
                continue;
            }
            guard.unlock();
            painter_->stopCapture();
            records::copyRecordFile("REC1.txt", "REC.txt");
            guard.lock();
            ++stops_;
            changed_.notify_all();
        }
    }

    bool handle_;
    Painter* painter_ = nullptr;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Command> queue_;
    int posted_ = 0;
    int stops_ = 0;
    bool quit_ = false;
    std::thread thread_;
};

// Twenty panes of the main window's size, and a painter over them.
struct Rig {
    explicit Rig(CommandTarget* window, SimulatorSettings settings = unpaced())
        : simulator(settings) {
        for (int i = 0; i < Painter::paneCount; ++i) {
            owned.push_back(std::make_unique<render::EcgPane>(i, 958, 124, platform::Rect{}));
            list[static_cast<std::size_t>(i)] = owned.back().get();
        }
        painter =
            std::make_unique<Painter>(simulator, window, list, defaultBuffer, defaultRate, 4096);
        painter->resumeThread();
    }
    ~Rig() {
        painter->stopThread();
        painter.reset();
    }
    static SimulatorSettings unpaced() { return pacedAt(0.0); }
    // The simulator at `speed` times real time.
    static SimulatorSettings pacedAt(double speed) {
        SimulatorSettings s;
        s.speed = speed;
        return s;
    }
    bool waitForBuffers(long long count, std::chrono::seconds timeout) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (painter->processedBuffers() < count) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    FrontEndSimulator simulator;
    std::vector<std::unique_ptr<render::EcgPane>> owned;
    Painter::PaneList list{};
    std::unique_ptr<Painter> painter;
};

}  // namespace testsupport
