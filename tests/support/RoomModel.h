#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "tests/support/ToneFiles.h"

namespace testsupport {

// The front end's tone as a phone held to it in a room records it: the
// room's reflections (a few early echoes and a decaying noise tail, by FFT
// convolution), background noise, the phone's clock off by tens to hundreds
// of parts per million, its gain control swinging, its microphone's band of
// 200 to 4000 Hz, and the codec it stores the sound with. Everything random
// is drawn from the seed: the same seed gives the same samples.

struct Room {
    const char* name;
    // The reflections' energy (early echoes and tail) against the direct
    // sound's, in dB.
    double echoDecibels;
    // The tail's decay by 60 dB.
    double reverberationSeconds;
    // The background noise against the tone at the microphone, in its band.
    double noiseDecibels;
    // The gain control's swing, peak to peak.
    double gainSwingDecibels;
};

inline constexpr Room quietRoom{"quiet, close", -20.0, 0.3, -30.0, 6.0};
inline constexpr Room ordinaryRoom{"ordinary, 20 cm", -6.0, 0.5, -15.0, 9.0};
inline constexpr Room loudRoom{"loud", 0.0, 0.6, -10.0, 12.0};

enum class Codec { Wav, Aac64, Opus24 };

inline const char* codecName(Codec codec) {
    switch (codec) {
        case Codec::Wav:
            return "WAV";
        case Codec::Aac64:
            return "AAC 64k";
        case Codec::Opus24:
            return "Opus 24k";
    }
    return "";
}

// A counter-based generator: uniform in [0, 1) and Gaussian draws, the same
// on every platform.
class RoomRandom {
public:
    explicit RoomRandom(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    double uniform() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) / 9007199254740992.0;
    }
    double gaussian() {
        const double u = std::max(uniform(), 1e-300);
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * std::numbers::pi * uniform());
    }

private:
    std::uint64_t state_;
};

// In-place radix-2 transform of a power-of-two length; unscaled both ways.
inline void roomFft(std::vector<std::complex<double>>& x, bool inverse) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(x[i], x[j]);
        }
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle =
            (inverse ? 2.0 : -2.0) * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> unit(std::cos(angle), std::sin(angle));
        for (std::size_t start = 0; start < n; start += length) {
            std::complex<double> w(1.0, 0.0);
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> a = x[start + k];
                const std::complex<double> b = x[start + k + length / 2] * w;
                x[start + k] = a + b;
                x[start + k + length / 2] = a - b;
                w *= unit;
            }
        }
    }
}

// `signal` convolved with `response`, as long as `signal`.
inline std::vector<double> convolved(const std::vector<double>& signal,
                                     const std::vector<double>& response) {
    std::size_t n = 1;
    while (n < signal.size() + response.size()) {
        n <<= 1;
    }
    std::vector<std::complex<double>> a(n);
    std::vector<std::complex<double>> b(n);
    std::copy(signal.begin(), signal.end(), a.begin());
    std::copy(response.begin(), response.end(), b.begin());
    roomFft(a, false);
    roomFft(b, false);
    for (std::size_t k = 0; k < n; ++k) {
        a[k] *= b[k];
    }
    roomFft(a, true);
    std::vector<double> out(signal.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = a[i].real() / static_cast<double>(n);
    }
    return out;
}

// The room's impulse response at `rate`: the direct sound (1), six early
// echoes 2 to 25 ms after it, and a tail of noise from 5 ms on that decays
// by 60 dB over the reverberation time; the echoes carry a third of the
// reflections' energy, the tail the rest.
inline std::vector<double> roomResponse(const Room& room, int rate, RoomRandom& random) {
    const auto length = static_cast<std::size_t>(room.reverberationSeconds * rate);
    std::vector<double> early(length, 0.0);
    std::vector<double> tail(length, 0.0);
    for (int e = 0; e < 6; ++e) {
        const auto at = static_cast<std::size_t>((0.002 + 0.023 * random.uniform()) * rate);
        early[at] += (random.uniform() < 0.5 ? -1.0 : 1.0) * std::exp(-0.5 * e);
    }
    const double decay = 3.0 * std::log(10.0) / room.reverberationSeconds;
    for (auto i = static_cast<std::size_t>(0.005 * rate); i < length; ++i) {
        tail[i] = random.gaussian() * std::exp(-decay * static_cast<double>(i) / rate);
    }
    const auto energy = [](const std::vector<double>& x) {
        double sum = 0.0;
        for (const double v : x) {
            sum += v * v;
        }
        return sum;
    };
    const double reflected = std::pow(10.0, room.echoDecibels / 10.0);
    const double earlyScale = std::sqrt(reflected / 3.0 / energy(early));
    const double tailScale = std::sqrt(2.0 * reflected / 3.0 / energy(tail));
    std::vector<double> response(length, 0.0);
    for (std::size_t i = 0; i < length; ++i) {
        response[i] = earlyScale * early[i] + tailScale * tail[i];
    }
    response[0] += 1.0;
    return response;
}

// A biquad of the cookbook's Butterworth (Q 1/sqrt 2) high- or low-pass.
class RoomBiquad {
public:
    RoomBiquad(double hertz, double rate, bool highPass) {
        const double w = 2.0 * std::numbers::pi * hertz / rate;
        const double alpha = std::sin(w) / std::sqrt(2.0);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha;
        const double b1 = highPass ? -(1.0 + c) : 1.0 - c;
        b0_ = (highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0) / a0;
        b1_ = b1 / a0;
        b2_ = b0_;
        a1_ = -2.0 * c / a0;
        a2_ = (1.0 - alpha) / a0;
    }
    void run(std::vector<double>& x) {
        double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
        for (double& v : x) {
            const double y = b0_ * v + b1_ * x1 + b2_ * x2 - a1_ * y1 - a2_ * y2;
            x2 = x1;
            x1 = v;
            y2 = y1;
            y1 = y;
            v = y;
        }
    }

private:
    double b0_, b1_, b2_, a1_, a2_;
};

// The microphone's band: fourth-order high-pass at 200 Hz and low-pass at
// 4000 Hz.
inline void microphoneBand(std::vector<double>& x, int rate) {
    for (int twice = 0; twice < 2; ++twice) {
        RoomBiquad(200.0, rate, true).run(x);
        RoomBiquad(4000.0, rate, false).run(x);
    }
}

inline double rms(const std::vector<double>& x) {
    double sum = 0.0;
    for (const double v : x) {
        sum += v * v;
    }
    return std::sqrt(sum / static_cast<double>(std::max<std::size_t>(x.size(), 1)));
}

struct RoomRecording {
    std::vector<std::int16_t> samples;
    // How far the phone's clock runs fast, in parts per million.
    double clockPpm = 0.0;
};

// The tone of `heart`, `seconds` long, as the phone in `room` records it
// at `rate` (before its codec).
inline RoomRecording recordInRoom(const acquisition::HeartSignal& heart, const Room& room, int rate,
                                  double seconds, std::uint64_t seed) {
    RoomRandom random(seed);
    const std::vector<std::int16_t> clean = simulatorTone(heart, rate, seconds + 0.1);
    std::vector<double> direct(clean.begin(), clean.end());
    std::vector<double> sound = convolved(direct, roomResponse(room, rate, random));
    // Background noise of the set level within the microphone's band.
    std::vector<double> noise(sound.size());
    for (double& v : noise) {
        v = random.gaussian();
    }
    microphoneBand(noise, rate);
    const double noiseScale = rms(direct) * std::pow(10.0, room.noiseDecibels / 20.0) / rms(noise);
    for (std::size_t i = 0; i < sound.size(); ++i) {
        sound[i] += noiseScale * noise[i];
    }
    // The phone's clock: its sample n is the room's sound at n (1 + e) / rate.
    RoomRecording recording;
    recording.clockPpm = 50.0 + 450.0 * random.uniform();
    const double stretch = 1.0 + recording.clockPpm * 1e-6;
    const auto count = static_cast<std::size_t>(seconds * rate);
    std::vector<double> phone(count);
    for (std::size_t n = 0; n < count; ++n) {
        const double at = static_cast<double>(n) * stretch;
        const auto i = static_cast<std::size_t>(at);
        const double f = at - static_cast<double>(i);
        const auto s = [&](std::size_t k) { return k < sound.size() ? sound[k] : 0.0; };
        const double before = i > 0 ? s(i - 1) : 0.0;
        // Cubic through four samples.
        phone[n] = before * (-f * (f - 1.0) * (f - 2.0) / 6.0) +
                   s(i) * ((f + 1.0) * (f - 1.0) * (f - 2.0) / 2.0) +
                   s(i + 1) * (-(f + 1.0) * f * (f - 2.0) / 2.0) +
                   s(i + 2) * ((f + 1.0) * f * (f - 1.0) / 6.0);
    }
    // The gain control: two slow swings whose sum spans the set swing.
    const double first = 2.0 + 3.0 * random.uniform();
    const double second = 0.5 + 1.0 * random.uniform();
    const double phase = 2.0 * std::numbers::pi * random.uniform();
    for (std::size_t n = 0; n < count; ++n) {
        const double t = static_cast<double>(n) / rate;
        const double swing = 0.7 * std::sin(2.0 * std::numbers::pi * t / first + phase) +
                             0.3 * std::sin(2.0 * std::numbers::pi * t / second);
        phone[n] *= std::pow(10.0, room.gainSwingDecibels / 2.0 * swing / 20.0);
    }
    microphoneBand(phone, rate);
    double peak = 0.0;
    for (const double v : phone) {
        peak = std::max(peak, std::abs(v));
    }
    const double scale = peak > 0.0 ? 0.7 * 32767.0 / peak : 0.0;
    recording.samples.resize(count);
    for (std::size_t n = 0; n < count; ++n) {
        recording.samples[n] = static_cast<std::int16_t>(std::lround(phone[n] * scale));
    }
    return recording;
}

// Writes `samples` as the phone stores them under `name` (its extension
// added); the file's name, empty when the ffmpeg command failed.
inline std::string storeWithCodec(const std::vector<std::int16_t>& samples, int rate, Codec codec,
                                  const std::string& name) {
    const std::string wav = name + ".wav";
    writeWav(wav, rate, 1, samples);
    if (codec == Codec::Wav) {
        return wav;
    }
    const bool aac = codec == Codec::Aac64;
    const std::string coded = name + (aac ? ".m4a" : ".opus");
    const std::string options = aac ? "-c:a aac -b:a 64k" : "-c:a libopus -b:a 24k";
    const std::string command =
        "ffmpeg -v error -y -i '" + wav + "' " + options + " '" + coded + "'";
    return std::system(command.c_str()) == 0 ? coded : std::string();
}

}  // namespace testsupport
