#include "PortAudioWaveInput.h"

#include <portaudio.h>

#include <array>
#include <cerrno>

#include "PortAudioSession.h"
#include "PortAudioStream.h"

namespace platform {

namespace {

constexpr std::array<double, 3> capabilityRates{11025.0, 22050.0, 44100.0};

// Bit of WAVE_FORMAT_<rate><M|S><08|16>: four bits per rate, stereo adds 1,
// 16 bits adds 2.
std::uint32_t capabilityBit(std::size_t rateIndex, int channels, int bitsPerSample) {
    const unsigned shift = static_cast<unsigned>(rateIndex) * 4U + (channels == 2 ? 1U : 0U) +
                           (bitsPerSample == 16 ? 2U : 0U);
    return 1U << shift;
}

bool isUsableFormat(const WaveFormat& format) {
    return format.formatTag == WAVE_FORMAT_PCM && (format.channels == 1 || format.channels == 2) &&
           (format.bitsPerSample == 8 || format.bitsPerSample == 16) && format.samplesPerSec > 0;
}

// Parameters for a format question; the latency does not matter there.
PaStreamParameters queryParameters(int paDevice, int channels, int bitsPerSample) {
    PaStreamParameters parameters{};
    parameters.device = paDevice;
    parameters.channelCount = channels;
    parameters.sampleFormat = bitsPerSample == 8 ? paUInt8 : paInt16;
    parameters.suggestedLatency = 0.0;
    parameters.hostApiSpecificStreamInfo = nullptr;
    return parameters;
}

bool supports(int paDevice, int channels, int bitsPerSample, double sampleRate) {
    const PaStreamParameters parameters = queryParameters(paDevice, channels, bitsPerSample);
    return Pa_IsFormatSupported(&parameters, nullptr, sampleRate) == paFormatIsSupported;
}

bool refusesFormat(PaError error) {
    return error == paInvalidSampleRate || error == paSampleFormatNotSupported ||
           error == paInvalidChannelCount;
}

// The device is held by someone else: PortAudio says so directly, or ALSA's
// open failed with EBUSY.
bool isBusy(PaError error) {
    if (error == paDeviceUnavailable) {
        return true;
    }
    if (error != paUnanticipatedHostError) {
        return false;
    }
    const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
    return info != nullptr && info->hostApiType == paALSA &&
           (info->errorCode == -EBUSY || info->errorCode == EBUSY);
}

MMResult resultFor(PaError error) {
    if (isBusy(error)) {
        return MMSYSERR_ALLOCATED;
    }
    if (refusesFormat(error)) {
        return WAVERR_BADFORMAT;
    }
    if (error == paInsufficientMemory) {
        return MMSYSERR_NOMEM;
    }
    return MMSYSERR_ERROR;
}

std::string platformText(PaError error) {
    std::string text = Pa_GetErrorText(error);
    if (error == paUnanticipatedHostError) {
        const PaHostErrorInfo* info = Pa_GetLastHostErrorInfo();
        if (info != nullptr && info->errorText != nullptr && info->errorText[0] != '\0') {
            text += ": ";
            text += info->errorText;
        }
    }
    return text;
}

// The first `maxChars` - 1 bytes of `text`, not ending inside a UTF-8 sequence
// (host error texts follow the user's language).
std::string clip(std::string text, std::size_t maxChars) {
    if (maxChars == 0) {
        return {};
    }
    if (text.size() < maxChars) {
        return text;
    }
    std::size_t end = maxChars - 1;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
        --end;
    }
    text.resize(end);
    return text;
}

}  // namespace

PortAudioWaveInput::PortAudioWaveInput() : session_(std::make_shared<PortAudioSession>()) {}

PortAudioWaveInput::~PortAudioWaveInput() = default;

int PortAudioWaveInput::portAudioDevice(unsigned device) const {
    if (!session_->initialised() || device != 0) {
        return paNoDevice;
    }
    return Pa_GetDefaultInputDevice();
}

unsigned PortAudioWaveInput::deviceCount() const {
    return portAudioDevice(0) >= 0 ? 1U : 0U;
}

MMResult PortAudioWaveInput::capabilities(unsigned device, std::uint32_t& formats) const {
    formats = 0;
    const int paDevice = portAudioDevice(device);
    const PaDeviceInfo* info = paDevice >= 0 ? Pa_GetDeviceInfo(paDevice) : nullptr;
    if (info == nullptr) {
        return MMSYSERR_BADDEVICEID;
    }
    // A one-channel device is not asked about stereo: PortAudio would refuse it
    // anyway, and print why.
    const int maxChannels = info->maxInputChannels >= 2 ? 2 : 1;
    for (std::size_t r = 0; r < capabilityRates.size(); ++r) {
        for (int channels = 1; channels <= maxChannels; ++channels) {
            for (const int bits : {8, 16}) {
                if (supports(paDevice, channels, bits, capabilityRates[r])) {
                    formats |= capabilityBit(r, channels, bits);
                }
            }
        }
    }
    return MMSYSERR_NOERROR;
}

MMResult PortAudioWaveInput::query(unsigned device, const WaveFormat& format) const {
    const int paDevice = portAudioDevice(device);
    if (paDevice < 0) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!isUsableFormat(format)) {
        return WAVERR_BADFORMAT;
    }
    const PaStreamParameters parameters =
        queryParameters(paDevice, format.channels, format.bitsPerSample);
    const PaError error = Pa_IsFormatSupported(&parameters, nullptr, format.samplesPerSec);
    return refusesFormat(error) ? WAVERR_BADFORMAT : MMSYSERR_NOERROR;
}

MMResult PortAudioWaveInput::open(std::unique_ptr<WaveInStream>& stream, unsigned device,
                                  const WaveFormat& format, WaveSignal& signal) {
    stream.reset();
    if (!session_->initialised()) {
        return fail(session_->error());
    }
    const int paDevice = portAudioDevice(device);
    if (paDevice < 0) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!isUsableFormat(format)) {
        return WAVERR_BADFORMAT;
    }
    const PortAudioCapture capture{paDevice, format.channels, format.bitsPerSample,
                                   static_cast<double>(format.samplesPerSec)};
    std::unique_ptr<PortAudioStream> opened;
    const int error = PortAudioStream::open(opened, session_, capture, signal);
    if (error != paNoError) {
        return fail(error);
    }
    stream = std::move(opened);
    return MMSYSERR_NOERROR;
}

MMResult PortAudioWaveInput::fail(int paError) {
    const MMResult code = resultFor(paError);
    std::lock_guard guard(textsMutex_);
    platformTexts_[code] = platformText(paError);
    return code;
}

std::string PortAudioWaveInput::describe(unsigned device) const {
    const int paDevice = portAudioDevice(device);
    const PaDeviceInfo* info = paDevice >= 0 ? Pa_GetDeviceInfo(paDevice) : nullptr;
    if (info == nullptr || info->name == nullptr) {
        return "sound input";
    }
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    return std::string("sound input \"") + info->name + "\"" +
           (api != nullptr && api->name != nullptr ? std::string(" (") + api->name + ")" : "");
}

std::string PortAudioWaveInput::errorText(MMResult code, std::size_t maxChars) const {
    std::lock_guard guard(textsMutex_);
    const auto found = platformTexts_.find(code);
    return clip(found != platformTexts_.end() ? found->second : standardErrorText(code), maxChars);
}

}  // namespace platform
