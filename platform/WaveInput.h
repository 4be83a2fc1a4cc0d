#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

// The wave-input service the recorder is written against: device count,
// capability flags, format query, open with a format and an event, and on the
// open stream prepare, add, start, reset, close and unprepare. It keeps the
// result codes and flag values of the classic wave-input API so that the
// recorder reads like the design it implements. Two backends exist: PortAudio
// (the sound card) and the ECG front-end simulator.

namespace platform {

using MMResult = std::uint32_t;

inline constexpr MMResult MMSYSERR_NOERROR = 0;
inline constexpr MMResult MMSYSERR_ERROR = 1;
inline constexpr MMResult MMSYSERR_BADDEVICEID = 2;
inline constexpr MMResult MMSYSERR_NOTENABLED = 3;
inline constexpr MMResult MMSYSERR_ALLOCATED = 4;
inline constexpr MMResult MMSYSERR_INVALHANDLE = 5;
inline constexpr MMResult MMSYSERR_NODRIVER = 6;
inline constexpr MMResult MMSYSERR_NOMEM = 7;
inline constexpr MMResult MMSYSERR_INVALPARAM = 11;
inline constexpr MMResult WAVERR_BADFORMAT = 32;
inline constexpr MMResult WAVERR_STILLPLAYING = 33;
inline constexpr MMResult WAVERR_UNPREPARED = 34;

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// Capability bits: rate (1 = 11.025 kHz, 2 = 22.05 kHz, 4 = 44.1 kHz),
// mono/stereo, 8/16 bits.
inline constexpr std::uint32_t WAVE_FORMAT_1M08 = 0x1;
inline constexpr std::uint32_t WAVE_FORMAT_1S08 = 0x2;
inline constexpr std::uint32_t WAVE_FORMAT_1M16 = 0x4;
inline constexpr std::uint32_t WAVE_FORMAT_1S16 = 0x8;
inline constexpr std::uint32_t WAVE_FORMAT_2M08 = 0x10;
inline constexpr std::uint32_t WAVE_FORMAT_2S08 = 0x20;
inline constexpr std::uint32_t WAVE_FORMAT_2M16 = 0x40;
inline constexpr std::uint32_t WAVE_FORMAT_2S16 = 0x80;
inline constexpr std::uint32_t WAVE_FORMAT_4M08 = 0x100;
inline constexpr std::uint32_t WAVE_FORMAT_4S08 = 0x200;
inline constexpr std::uint32_t WAVE_FORMAT_4M16 = 0x400;
inline constexpr std::uint32_t WAVE_FORMAT_4S16 = 0x800;
inline constexpr std::uint32_t WAVE_FORMAT_ALL = 0xFFF;

// Header flag bits.
inline constexpr std::uint32_t WHDR_DONE = 0x1;
inline constexpr std::uint32_t WHDR_PREPARED = 0x2;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

struct WaveFormat {
    std::uint16_t formatTag = WAVE_FORMAT_PCM;
    std::uint16_t channels = 1;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraSize = 0;
};

// One buffer handed to the device. The device thread sets WHDR_DONE when it
// has filled the buffer; the consumer reads the flags from its own thread, so
// they are atomic (release on the device side, acquire on the reader's).
struct WaveHeader {
    char* data = nullptr;
    std::uint32_t bufferLength = 0;
    std::uint32_t bytesRecorded = 0;
    // The bytes the device captured but had to drop just before this
    // buffer's first byte, finding no buffer queued (the consumer fell
    // behind). Owned as bytesRecorded is: set by the device with the first
    // byte, read by the consumer once the buffer is done.
    std::uint64_t droppedBefore = 0;
    std::atomic<std::uint32_t> flags{0};

    bool done() const { return (flags.load(std::memory_order_acquire) & WHDR_DONE) != 0; }
};

// What the device signals on every completed buffer. The recorder hands it the
// capture worker's auto-reset event. set() must be callable from the audio
// thread: it neither blocks for long nor allocates.
class WaveSignal {
public:
    virtual void set() = 0;

protected:
    ~WaveSignal() = default;
};

// An open input device. Destroying it while it still runs resets and closes it,
// so no buffer stays in the device's hands past the stream's lifetime.
class WaveInStream {
public:
    virtual ~WaveInStream() = default;
    virtual MMResult prepare(WaveHeader& header) = 0;
    virtual MMResult unprepare(WaveHeader& header) = 0;
    // Appends a prepared header to the input queue; buffers are filled in
    // queue order.
    virtual MMResult addBuffer(WaveHeader& header) = 0;
    virtual MMResult start() = 0;
    // Stops input and returns every queued buffer marked done. When it returns
    // the device no longer writes into any buffer.
    virtual MMResult reset() = 0;
    virtual MMResult close() = 0;
    // Whether the device stopped delivering by itself (unplugged, its server
    // gone) since the last start; a reset or close of ours is no failure.
    // Cheap: asked for every buffer.
    virtual bool hasFailed() const { return false; }
    // What the device reported then.
    virtual std::string failure() const { return {}; }
};

class WaveInput {
public:
    virtual ~WaveInput() = default;
    virtual unsigned deviceCount() const = 0;
    // The capability bits (WAVE_FORMAT_1M08 ...) of a device.
    virtual MMResult capabilities(unsigned device, std::uint32_t& formats) const = 0;
    // Asks whether a device can record the format, without opening it.
    virtual MMResult query(unsigned device, const WaveFormat& format) const = 0;
    // Opens a device that signals `signal` on every completed buffer.
    virtual MMResult open(std::unique_ptr<WaveInStream>& stream, unsigned device,
                          const WaveFormat& format, WaveSignal& signal) = 0;
    // The text of a result code, at most `maxChars` - 1 characters.
    virtual std::string errorText(MMResult code, std::size_t maxChars) const = 0;
    // What a device is, in words for a recording's facts ("sound input
    // \"USB Audio\""); empty when there is nothing to say.
    virtual std::string describe(unsigned device) const {
        static_cast<void>(device);
        return {};
    }
};

// Text of the standard result codes, shared by the backends.
std::string standardErrorText(MMResult code);

}  // namespace platform
