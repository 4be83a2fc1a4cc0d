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

double FmTone::nextNoise() {
    // xorshift64*: the same noise on every run.
    noiseState_ ^= noiseState_ >> 12;
    noiseState_ ^= noiseState_ << 25;
    noiseState_ ^= noiseState_ >> 27;
    const std::uint64_t r = noiseState_ * 2685821657736338717ull;
    return static_cast<double>(r >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

void FmTone::fill(char* data, std::size_t samples, int bitsPerSample) {
    auto* bytes = reinterpret_cast<unsigned char*>(data);
    const double gain = gain_ ? gain_->load(std::memory_order_relaxed) : 1.0;
    const auto next = [&] {
        double v = gain * step();
        if (noise_ > 0.0) {
            v += noise_ * nextNoise();
        }
        return v;
    };
    if (bitsPerSample == 8) {
        for (std::size_t i = 0; i < samples; ++i) {
            bytes[i] = static_cast<unsigned char>(128 + scaled(next(), 128.0));
        }
        return;
    }
    for (std::size_t i = 0; i < samples; ++i) {
        const auto word =
            static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled(next(), 32768.0)));
        bytes[2 * i] = static_cast<unsigned char>(word & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(word >> 8);
    }
}

}  // namespace acquisition
