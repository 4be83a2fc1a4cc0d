#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Feeds 16-bit mono samples to the tests' ALSA device through a pipe (one a
// child program inherits, too): a callback's worth at a time at the real
// rate, and never more than one ahead of what the device has taken, so that
// the capture starts on the first sample and no burst of a backlog finds the
// recorder without a free buffer.
class PipeFeeder {
public:
    static constexpr int rate = 199680;
    static constexpr std::size_t block = 4096;

    explicit PipeFeeder(const std::vector<std::int16_t>& samples) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe2 failed";
            return;
        }
        readEnd_ = ends[0];
        writeEnd_ = ends[1];
        ::fcntl(readEnd_, F_SETFD, 0);
        thread_ = std::jthread([this, &samples](std::stop_token stop) { feed(stop, samples); });
    }
    ~PipeFeeder() {
        thread_.request_stop();
        if (thread_.joinable()) {
            thread_.join();
        }
        ::close(readEnd_);
        ::close(writeEnd_);
    }
    PipeFeeder(const PipeFeeder&) = delete;
    PipeFeeder& operator=(const PipeFeeder&) = delete;

    int readFd() const { return readEnd_; }
    // An ALSA configuration whose default capture device reads the pipe.
    std::string alsaConfiguration() const {
        return "pcm.!default { type file slave.pcm { type null } file \"/dev/null\" infile " +
               std::to_string(readEnd_) + " format \"raw\" }\n";
    }

private:
    void feed(const std::stop_token& stop, const std::vector<std::int16_t>& samples) {
        using Clock = std::chrono::steady_clock;
        const auto blockTime = std::chrono::nanoseconds(1'000'000'000LL * block / rate);
        auto next = Clock::now();
        for (std::size_t at = 0; at < samples.size() && !stop.stop_requested();) {
            int queued = 0;
            ::ioctl(writeEnd_, FIONREAD, &queued);
            if (queued > static_cast<int>(2 * block)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const std::size_t n = std::min(block, samples.size() - at);
            if (::write(writeEnd_, samples.data() + at, 2 * n) != static_cast<ssize_t>(2 * n)) {
                return;
            }
            at += n;
            next = std::max(next + blockTime, Clock::now());
            std::this_thread::sleep_until(next);
        }
    }

    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::jthread thread_;
};

}  // namespace testsupport
