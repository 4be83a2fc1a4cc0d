#include "FmTone.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace acquisition {

namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;

long scaled(double unit, double fullScale) {
    return std::clamp(std::lround(unit * fullScale), -static_cast<long>(fullScale),
                      static_cast<long>(fullScale) - 1);
}

}  // namespace

FmTone::FmTone(const HeartSignal& heart, double sampleRate, double amplitude)
    : heart_(heart), sampleRate_(sampleRate), amplitude_(amplitude) {}

void FmTone::restart() {
    phase_ = 0.0;
    nextSample_ = 0;
}

double FmTone::frequencyAt(double seconds) const {
    return carrierHertz + hertzPerMillivolt * heart_.millivolts(seconds);
}

double FmTone::step() {
    const double value = amplitude_ * std::sin(phase_);
    const double midpoint = (static_cast<double>(nextSample_) + 0.5) / sampleRate_;
    phase_ += twoPi * frequencyAt(midpoint) / sampleRate_;
    // Keeping the phase small keeps its resolution, however long the capture.
    phase_ -= twoPi * std::floor(phase_ / twoPi);
    ++nextSample_;
    return value;
}

void FmTone::fill(char* data, std::size_t samples, int bitsPerSample) {
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    if (bitsPerSample == 8) {
        for (std::size_t i = 0; i < samples; ++i) {
            bytes[i] = static_cast<unsigned char>(128 + scaled(step(), 128.0));
        }
        return;
    }
    for (std::size_t i = 0; i < samples; ++i) {
        const auto word =
            static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled(step(), 32768.0)));
        bytes[2 * i] = static_cast<unsigned char>(word & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(word >> 8);
    }
}

}  // namespace acquisition
