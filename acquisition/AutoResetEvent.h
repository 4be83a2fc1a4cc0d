#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/WaveInput.h"

namespace acquisition {

// An event that releases one wait per set() and then resets itself; several
// sets between two waits release one wait. The wave-input device sets it from
// its own thread on every completed buffer.
class AutoResetEvent final : public platform::WaveSignal {
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    void set() override;
    void wait();
    // Waits at most `timeout`; true when the event was signalled.
    bool waitFor(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable signalled_;
    bool state_ = false;
};

}  // namespace acquisition
