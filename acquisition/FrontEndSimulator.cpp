#include "FrontEndSimulator.h"

#include <charconv>

#include "SimulatorStream.h"

namespace acquisition {

using namespace platform;

namespace {

constexpr unsigned simulatorDevice = 0;

bool acceptable(const WaveFormat& format) {
    if (format.formatTag != WAVE_FORMAT_PCM || format.channels != 1 || format.samplesPerSec == 0) {
        return false;
    }
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) {
        return false;
    }
    const unsigned blockAlign = format.bitsPerSample / 8u;
    return format.blockAlign == blockAlign &&
           format.avgBytesPerSec == static_cast<std::uint64_t>(format.samplesPerSec) * blockAlign;
}

}  // namespace

FrontEndSimulator::FrontEndSimulator(const SimulatorSettings& settings) : settings_(settings) {
    // Builds the signal once so that bad settings fail here, not at open().
    HeartSignal check(settings_.heart);
}

void FrontEndSimulator::setSettings(const SimulatorSettings& settings) {
    HeartSignal check(settings.heart);
    std::lock_guard guard(mutex_);
    settings_ = settings;
}

void FrontEndSimulator::setHeartRate(double beatsPerMinute) {
    std::lock_guard guard(mutex_);
    HeartSignal::Settings heart = settings_.heart;
    heart.beatsPerMinute = beatsPerMinute;
    HeartSignal check(heart);
    settings_.heart = heart;
}

void FrontEndSimulator::setSpeed(double factor) {
    std::lock_guard guard(mutex_);
    settings_.speed = factor;
}

SimulatorSettings FrontEndSimulator::settings() const {
    std::lock_guard guard(mutex_);
    return settings_;
}

HeartSignal FrontEndSimulator::heartSignal() const {
    return HeartSignal(settings().heart);
}

void FrontEndSimulator::failNextOpen(MMResult code) {
    std::lock_guard guard(mutex_);
    failNextOpen_ = code;
}

void FrontEndSimulator::failStreamsAfter(long long buffers) {
    std::lock_guard guard(mutex_);
    settings_.failAfterBuffers = buffers;
}

void FrontEndSimulator::refuseFormats(bool refuse) {
    std::lock_guard guard(mutex_);
    refuseFormats_ = refuse;
}

MMResult FrontEndSimulator::capabilities(unsigned device, std::uint32_t& formats) const {
    if (device != simulatorDevice) {
        return MMSYSERR_BADDEVICEID;
    }
    formats = WAVE_FORMAT_ALL;
    return MMSYSERR_NOERROR;
}

MMResult FrontEndSimulator::query(unsigned device, const WaveFormat& format) const {
    if (device != simulatorDevice) {
        return MMSYSERR_BADDEVICEID;
    }
    std::lock_guard guard(mutex_);
    return !refuseFormats_ && acceptable(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMResult FrontEndSimulator::open(std::unique_ptr<WaveInStream>& stream, unsigned device,
                                 const WaveFormat& format, WaveSignal& signal) {
    const MMResult supported = query(device, format);
    if (supported != MMSYSERR_NOERROR) {
        return supported;
    }
    SimulatorSettings settings;
    {
        std::lock_guard guard(mutex_);
        const MMResult failure = failNextOpen_;
        failNextOpen_ = MMSYSERR_NOERROR;
        if (failure != MMSYSERR_NOERROR) {
            return failure;
        }
        settings = settings_;
        settings.toneGain = toneGain_;
    }
    stream = std::make_unique<SimulatorStream>(format, signal, settings);
    return MMSYSERR_NOERROR;
}

std::string FrontEndSimulator::describe(unsigned device) const {
    static_cast<void>(device);
    const SimulatorSettings s = settings();
    // Whatever the locale says: a point, not a comma.
    const auto number = [](double value) {
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, value);
        return std::string(text, result.ptr);
    };
    std::string description = "simulator at " + number(s.heart.beatsPerMinute) + " per minute";
    if (s.heart.wanderMillivolts > 0.0) {
        description += ", baseline wander " + number(s.heart.wanderMillivolts) + " mV";
    }
    return description;
}

std::string FrontEndSimulator::errorText(MMResult code, std::size_t maxChars) const {
    std::string text = standardErrorText(code);
    if (maxChars == 0) {
        return {};
    }
    if (text.size() > maxChars - 1) {
        text.resize(maxChars - 1);
    }
    return text;
}

}  // namespace acquisition
