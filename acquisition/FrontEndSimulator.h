#pragma once

#include <mutex>

#include "HeartSignal.h"
#include "SimulatorSettings.h"
#include "platform/WaveInput.h"

namespace acquisition {

// The built-in ECG front end: one wave-input device (device 0) that records
// the front end's FM tone of a synthetic heart signal, so that the program
// can run and be tested without the real front end. Every PCM format of the
// capability table is offered; mono 8- and 16-bit PCM is accepted at any
// positive rate.
//
// Settings are read when a stream is opened. The setters and failNextOpen()
// may be called from any thread; a heart rate that is not a positive number
// is refused with std::invalid_argument by the constructor and the setters.
class FrontEndSimulator final : public platform::WaveInput {
public:
    FrontEndSimulator() = default;
    explicit FrontEndSimulator(const SimulatorSettings& settings);

    void setSettings(const SimulatorSettings& settings);
    void setHeartRate(double beatsPerMinute);
    void setSpeed(double factor);
    SimulatorSettings settings() const;
    // The heart signal the next stream carries: sample n of its first buffer
    // after start() is this signal at t = n / sampleRate.
    HeartSignal heartSignal() const;

    // Makes the next open() fail with `code` (once), as a busy or broken
    // device would.
    void failNextOpen(platform::MMResult code);
    // Streams opened from now on end by themselves after that many buffers
    // (-1: never), as an unplugged sound card's does.
    void failStreamsAfter(long long buffers);
    // The front end switched on (1) or off (0), or anything between, at
    // once, also for a stream that is playing.
    void setToneGain(double gain) { toneGain_->store(gain); }
    // While set, query() and open() refuse every format.
    void refuseFormats(bool refuse);

    unsigned deviceCount() const override { return 1; }
    platform::MMResult capabilities(unsigned device, std::uint32_t& formats) const override;
    platform::MMResult query(unsigned device, const platform::WaveFormat& format) const override;
    platform::MMResult open(std::unique_ptr<platform::WaveInStream>& stream, unsigned device,
                            const platform::WaveFormat& format,
                            platform::WaveSignal& signal) override;
    std::string errorText(platform::MMResult code, std::size_t maxChars) const override;
    // "simulator at 72 per minute" (and its wander, when it has one).
    std::string describe(unsigned device) const override;

private:
    mutable std::mutex mutex_;
    SimulatorSettings settings_;
    std::shared_ptr<std::atomic<double>> toneGain_ = std::make_shared<std::atomic<double>>(1.0);
    platform::MMResult failNextOpen_ = platform::MMSYSERR_NOERROR;
    bool refuseFormats_ = false;
};

}  // namespace acquisition
