#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "WaveInput.h"

namespace platform {

class PortAudioSession;

// The sound card through PortAudio. Device 0 is the system's default capture
// device (on Linux the ALSA default, which goes through PulseAudio or PipeWire
// where they run); there is no other device. Data is mono or stereo PCM, 8-bit
// unsigned or 16-bit signed little-endian.
//
// Failures that PortAudio explains are reported as MMSYSERR_ERROR (or a closer
// code) and errorText() then returns PortAudio's own words for them. Calls are
// expected from one thread at a time, as the recorder makes them under its
// owner's lock.
class PortAudioWaveInput final : public WaveInput {
public:
    PortAudioWaveInput();
    ~PortAudioWaveInput() override;
    PortAudioWaveInput(const PortAudioWaveInput&) = delete;
    PortAudioWaveInput& operator=(const PortAudioWaveInput&) = delete;

    unsigned deviceCount() const override;
    MMResult capabilities(unsigned device, std::uint32_t& formats) const override;
    // Answers only whether the format is refused: a device that cannot be
    // opened at all (or is held by another program) is reported by open().
    MMResult query(unsigned device, const WaveFormat& format) const override;
    MMResult open(std::unique_ptr<WaveInStream>& stream, unsigned device, const WaveFormat& format,
                  WaveSignal& signal) override;
    std::string errorText(MMResult code, std::size_t maxChars) const override;
    std::string describe(unsigned device) const override;

private:
    // The PortAudio index of a wave-input device, or a negative value.
    int portAudioDevice(unsigned device) const;
    // Turns a PortAudio error into a result code and keeps its text for errorText().
    MMResult fail(int paError);

    std::shared_ptr<PortAudioSession> session_;
    mutable std::mutex textsMutex_;
    std::map<MMResult, std::string> platformTexts_;
};

}  // namespace platform
