#include "acquisition/HighRateDemodulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <numbers>
#include <vector>

#include "acquisition/AutoResetEvent.h"
#include "acquisition/FrontEndSimulator.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/RecorderM8.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "acquisition/ValueEstimate.h"
#include "records/FrontEndCalibration.h"
#include "tests/support/ToneFiles.h"

namespace acquisition {
namespace {

using Line = HighRateDemodulator::Line;
namespace calibration = records::calibration;

constexpr int defaultRate = 199680;
constexpr int defaultBuffer = 4096;
constexpr double valuesPerSecond = 10.0 * defaultRate / defaultBuffer;  // 487.5
constexpr double twoPi = 2.0 * std::numbers::pi;

// ---------------------------------------------------------------------------
// The simulator's ECG, captured as the capture worker captures it.

struct HighRateRecording {
    HeartSignal heart;
    std::vector<double> values;     // ten a buffer, the stop's included
    std::vector<double> estimates;  // the spectrum's one a buffer
};

HighRateRecording recordSimulator(std::size_t buffers, double lineNoise,
                                  double amplitude = FmTone::defaultAmplitude) {
    SimulatorSettings settings;
    settings.speed = 0.0;
    settings.amplitude = amplitude;
    settings.lineNoise = lineNoise;
    FrontEndSimulator simulator(settings);
    RecorderM16 recorder(simulator, defaultBuffer, defaultRate);
    AutoResetEvent event;
    SpectrumAnalyzer analyzer(defaultBuffer, defaultRate);
    HighRateDemodulator demodulator(defaultRate, defaultBuffer);
    HighRateRecording recording{simulator.heartSignal(), {}, {}};
    Line line{};
    const auto keep = [&] {
        recording.values.insert(recording.values.end(), line.begin(), line.end());
    };
    if (!recorder.start(event)) {
        return recording;
    }
    while (recording.estimates.size() < buffers && event.waitFor(std::chrono::seconds(5))) {
        while (recorder.currentBufferDone() && recording.estimates.size() < buffers) {
            SampleCursor cursor(recorder.currentBufferData(), recorder, defaultBuffer);
            if (demodulator.push(cursor, line)) {
                keep();
            }
            recorder.recycleCurrent();
            analyzer.loadBlock(cursor);
            analyzer.transform();
            recording.estimates.push_back(estimateValue(analyzer));
        }
    }
    recorder.stop();
    while (demodulator.finish(line)) {
        keep();
    }
    return recording;
}

// The heart signal's mean over each tenth of a buffer, in values.
std::vector<double> trueValues(const HeartSignal& heart, std::size_t count) {
    constexpr int points = 32;
    const double tenth = 1.0 / valuesPerSecond;
    std::vector<double> truth(count);
    for (std::size_t k = 0; k < count; ++k) {
        double sum = 0.0;
        for (int s = 0; s < points; ++s) {
            sum += heart.millivolts((static_cast<double>(k) + (s + 0.5) / points) * tenth);
        }
        truth[k] = calibration::zeroLevel + calibration::perMillivolt * sum / points;
    }
    return truth;
}

// Zero-phase low-pass at 100 Hz (a Hamming-windowed sinc of 41 taps); the
// first and last 20 values are left out.
std::vector<double> lowPass100(const std::vector<double>& x) {
    constexpr int half = 20;
    const double cutoff = 100.0 / valuesPerSecond;
    std::vector<double> taps;
    double sum = 0.0;
    for (int n = -half; n <= half; ++n) {
        const double a = std::numbers::pi * 2.0 * cutoff * n;
        const double sinc = n == 0 ? 1.0 : std::sin(a) / a;
        taps.push_back(sinc * (0.54 + 0.46 * std::cos(std::numbers::pi * n / half)));
        sum += taps.back();
    }
    std::vector<double> y;
    for (std::size_t i = half; i + half < x.size(); ++i) {
        double acc = 0.0;
        for (int n = -half; n <= half; ++n) {
            acc += taps[static_cast<std::size_t>(n + half)] * x[i - static_cast<std::size_t>(n)];
        }
        y.push_back(acc / sum);
    }
    return y;
}

struct Agreement {
    int lag = 0;
    double r = 0.0;
    double rmsValues = 0.0;
    double worstQrsError = 0.0;  // relative, over the beats
};

std::size_t shifted(std::size_t i, int lag) {
    return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(i) + lag);
}

double correlation(const std::vector<double>& a, const std::vector<double>& b, std::size_t from,
                   std::size_t to, int lag) {
    double ma = 0.0;
    double mb = 0.0;
    const double n = static_cast<double>(to - from);
    for (std::size_t i = from; i < to; ++i) {
        ma += a[shifted(i, lag)];
        mb += b[i];
    }
    ma /= n;
    mb /= n;
    double sab = 0.0;
    double saa = 0.0;
    double sbb = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        const double da = a[shifted(i, lag)] - ma;
        const double db = b[i] - mb;
        sab += da * db;
        saa += da * da;
        sbb += db * db;
    }
    return sab / std::sqrt(saa * sbb);
}

// Both low-passed, compared over all but the first and last second, at the
// lag (within +-5 values) that agrees best.
Agreement compare(const HighRateRecording& recording) {
    const std::vector<double> truth =
        lowPass100(trueValues(recording.heart, recording.values.size()));
    const std::vector<double> measured = lowPass100(recording.values);
    const auto second = static_cast<std::size_t>(valuesPerSecond);
    const std::size_t from = second;
    const std::size_t to = truth.size() - second;
    Agreement best;
    best.r = -2.0;
    for (int lag = -5; lag <= 5; ++lag) {
        const double r = correlation(measured, truth, from, to, lag);
        if (r > best.r) {
            best.r = r;
            best.lag = lag;
        }
    }
    const auto at = [&](std::size_t i) { return measured[shifted(i, best.lag)]; };
    double squares = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        squares += (at(i) - truth[i]) * (at(i) - truth[i]);
    }
    best.rmsValues = std::sqrt(squares / static_cast<double>(to - from));
    // Each QRS: the swing within 60 ms of its R peak (the filtered series
    // start 20 values late).
    for (int beat = 0;; ++beat) {
        const double t = recording.heart.rPeakTime(beat) * valuesPerSecond - 20.0;
        const auto centre = static_cast<std::size_t>(std::max(0.0, t));
        const auto reach = static_cast<std::size_t>(0.06 * valuesPerSecond);
        if (centre < from) {
            continue;
        }
        if (centre + reach >= to) {
            break;
        }
        double tLo = truth[centre];
        double tHi = tLo;
        double mLo = at(centre);
        double mHi = mLo;
        for (std::size_t i = centre - reach; i <= centre + reach; ++i) {
            tLo = std::min(tLo, truth[i]);
            tHi = std::max(tHi, truth[i]);
            mLo = std::min(mLo, at(i));
            mHi = std::max(mHi, at(i));
        }
        const double error = std::abs((mHi - mLo) / (tHi - tLo) - 1.0);
        best.worstQrsError = std::max(best.worstQrsError, error);
    }
    return best;
}

// 20 s of the simulator at the default settings: the ten values of every
// buffer follow the heart signal's own mean over each tenth, in its own time,
// and agree with the value the spectrum gives for the same buffer.
TEST(HighRateDemodulator, FollowsTheSimulatedEcgInItsOwnTime) {
    const HighRateRecording recording = recordSimulator(975, 0.0);
    ASSERT_EQ(recording.estimates.size(), 975u);
    ASSERT_EQ(recording.values.size(), 9750u);

    const Agreement agreement = compare(recording);
    std::cout << "lag " << agreement.lag << ", r " << agreement.r << ", RMS "
              << agreement.rmsValues / calibration::perMillivolt << " mV, worst QRS swing error "
              << 100.0 * agreement.worstQrsError << " %\n";
    EXPECT_EQ(agreement.lag, 0);
    EXPECT_GE(agreement.r, 0.999);
    EXPECT_LE(agreement.rmsValues, 0.02 * calibration::perMillivolt);
    EXPECT_LE(agreement.worstQrsError, 0.03);

    // The mean of a buffer's ten values is that buffer's value, not its
    // neighbour's: during a QRS those differ by several units. (The
    // spectrum's own reading lies up to 0.55 off the true mean between two
    // of its bins.)
    double worst = 0.0;
    for (std::size_t k = 0; k < recording.estimates.size(); ++k) {
        double mean = 0.0;
        for (std::size_t j = 0; j < 10; ++j) {
            mean += recording.values[10 * k + j] / 10.0;
        }
        worst = std::max(worst, std::abs(mean - recording.estimates[k]));
        EXPECT_NEAR(mean, recording.estimates[k], 0.6) << "buffer " << k;
    }
    std::cout << "worst difference to the spectrum's value " << worst << "\n";
}

// White noise over the whole band, with ten times the tone's power and with
// as much as the tone: the 100 Hz ECG still follows the heart signal. The
// tone is turned down so that tone and noise stay within full scale (uniform
// noise of peak p has the power p^2 / 3, a tone of peak a a^2 / 2). Ten times
// the tone's power would slip the phase by whole turns in a wide band; as
// strong as the tone, what is left is the noise of the frequency under
// 100 Hz itself, some 0.01 mV.
Agreement throughNoise(double noiseToTone) {
    constexpr double amplitude = 0.1;
    const double peak = std::sqrt(3.0 * noiseToTone * amplitude * amplitude / 2.0);
    const HighRateRecording recording = recordSimulator(975, peak, amplitude);
    EXPECT_EQ(recording.values.size(), 9750u);
    const Agreement agreement = compare(recording);
    std::cout << "noise " << 10.0 * std::log10(noiseToTone) << " dB against the tone: lag "
              << agreement.lag << ", r " << agreement.r << ", RMS "
              << agreement.rmsValues / calibration::perMillivolt << " mV, worst QRS swing error "
              << 100.0 * agreement.worstQrsError << " %\n";
    return agreement;
}

TEST(HighRateDemodulator, FollowsTheEcgThroughNoiseTenTimesTheTonesPower) {
    const Agreement agreement = throughNoise(10.0);
    EXPECT_EQ(agreement.lag, 0);
    EXPECT_GE(agreement.r, 0.98);
}

TEST(HighRateDemodulator, FollowsTheEcgThroughNoiseAsStrongAsTheTone) {
    const Agreement agreement = throughNoise(1.0);
    EXPECT_EQ(agreement.lag, 0);
    EXPECT_GE(agreement.r, 0.998);
}

// A room's echo, almost as strong as the tone and 8 ms late: wherever the
// two meet in opposite phase (a QRS sweeps their difference through every
// angle) the tone all but vanishes and its phase turns by anything. Those
// steps are bridged, not taken at their word: the ECG still follows the
// heart (every step taken, r 0.95 and 0.07 mV RMS), a few values late, as
// the echo's share of the sound is.
TEST(HighRateDemodulator, FollowsTheEcgThroughAnEchoAlmostAsStrongAsTheTone) {
    const HeartSignal heart;
    const std::vector<std::int16_t> tone = testsupport::simulatorTone(heart, defaultRate, 20.0);
    const auto late = static_cast<std::size_t>(0.008 * defaultRate);
    std::vector<std::int16_t> heard(tone.size());
    for (std::size_t i = 0; i < tone.size(); ++i) {
        const double echo = i >= late ? 0.95 * tone[i - late] : 0.0;
        heard[i] = static_cast<std::int16_t>(std::lround(0.5 * (tone[i] + echo)));
    }
    HighRateDemodulator demodulator(defaultRate, defaultBuffer);
    HighRateRecording recording{heart, {}, {}};
    Line line{};
    const auto keep = [&] {
        recording.values.insert(recording.values.end(), line.begin(), line.end());
    };
    for (std::size_t at = 0; at + defaultBuffer <= heard.size(); at += defaultBuffer) {
        if (demodulator.push(SampleCursor(heard.data() + at, defaultBuffer), line)) {
            keep();
        }
    }
    while (demodulator.finish(line)) {
        keep();
    }
    const Agreement agreement = compare(recording);
    std::cout << "echo: lag " << agreement.lag << ", r " << agreement.r << ", RMS "
              << agreement.rmsValues / calibration::perMillivolt << " mV, worst QRS swing error "
              << 100.0 * agreement.worstQrsError << " %\n";
    EXPECT_LE(std::abs(agreement.lag), 3);
    EXPECT_GE(agreement.r, 0.99);
    EXPECT_LE(agreement.rmsValues, 0.03 * calibration::perMillivolt);
}

// ---------------------------------------------------------------------------
// Tones of known phase, cut into buffers of any size.

struct Tone {
    double offsetHertz = 0.0;  // from the carrier
    double swingHertz = 0.0;   // a cosine of this amplitude ...
    double swingRate = 3.0;    // ... and this rate on top
    double dc = 0.0;           // fraction of full scale

    // Radians at sample n.
    double phase(double n, double rate) const {
        const double t = n / rate;
        return twoPi * (calibration::carrierHertz + offsetHertz) * t +
               swingHertz / swingRate * std::sin(twoPi * swingRate * t);
    }
    // The mean frequency over samples a to b, in values.
    double meanValue(double a, double b, double rate) const {
        const double hertz = (phase(b, rate) - phase(a, rate)) / (twoPi * (b - a) / rate);
        return hertz / calibration::hertzPerValue;
    }
};

// The tone's values for `buffers` buffers, the stop's included, from 16- or
// 8-bit samples as the recorder reads them.
std::vector<double> demodulate(const Tone& tone, HighRateDemodulator& demodulator, int bits,
                               int buffers) {
    const int rate = demodulator.sampleRate();
    const int perBuffer = demodulator.samplesPerBuffer();
    FrontEndSimulator unused;
    std::unique_ptr<Recorder> recorder;
    if (bits == 8) {
        recorder = std::make_unique<RecorderM8>(unused, perBuffer, rate);
    } else {
        recorder = std::make_unique<RecorderM16>(unused, perBuffer, rate);
    }
    std::vector<char> data(static_cast<std::size_t>(perBuffer * bits / 8));
    std::vector<double> values;
    Line line{};
    const auto keep = [&] { values.insert(values.end(), line.begin(), line.end()); };
    for (int k = 0; k < buffers; ++k) {
        for (int i = 0; i < perBuffer; ++i) {
            const double n = static_cast<double>(k) * perBuffer + i;
            const double x = 0.5 * std::sin(tone.phase(n, rate)) + tone.dc;
            if (bits == 8) {
                data[static_cast<std::size_t>(i)] = static_cast<char>(128 + std::lround(127.0 * x));
            } else {
                const auto word = static_cast<std::uint16_t>(std::lround(32767.0 * x));
                data[static_cast<std::size_t>(2 * i)] = static_cast<char>(word & 0xFF);
                data[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>(word >> 8);
            }
        }
        if (demodulator.push(SampleCursor(data.data(), *recorder, perBuffer), line)) {
            keep();
        }
    }
    while (demodulator.finish(line)) {
        keep();
    }
    return values;
}

struct Setting {
    int rate;
    int perBuffer;
    int bits;
};

// Every value is the tone's mean frequency over its tenth, at every setting
// (the swing lies well within the 150 Hz the frequency keeps), with the
// look-ahead over several buffers where they are short. The stop delivers the
// last buffers: the filters reach about 11 ms to either side, and over the
// last of it the frequency of the millisecond before is held, while the
// swing moves on by up to 250 Hz * 2 pi * 3 / s * 11 ms = 1.7 values.
TEST(HighRateDemodulator, GivesEachTenthsMeanFrequencyAtAnySetting) {
    Tone swinging;
    swinging.offsetHertz = 40.0;
    swinging.swingHertz = 250.0;
    for (const Setting s : {Setting{199680, 4096, 16}, Setting{798720, 1024, 16},
                            Setting{44100, 3000, 8}, Setting{8000, 10, 16}}) {
        const int buffers = static_cast<int>(0.6 * s.rate / s.perBuffer) + 2;
        HighRateDemodulator demodulator(s.rate, s.perBuffer);
        const std::vector<double> values = demodulate(swinging, demodulator, s.bits, buffers);
        ASSERT_EQ(values.size(), static_cast<std::size_t>(10 * buffers));
        const double tenth = s.perBuffer / 10.0;
        const double end = static_cast<double>(buffers) * s.perBuffer;
        double worst = 0.0;
        double worstHeld = 0.0;
        for (std::size_t v = 0; v < values.size(); ++v) {
            const double a = static_cast<double>(v) * tenth;
            if (a < 0.1 * s.rate) {
                continue;
            }
            const double error = std::abs(values[v] - swinging.meanValue(a, a + tenth, s.rate));
            if (a + tenth <= end - 0.015 * s.rate) {
                worst = std::max(worst, error);
            } else {
                worstHeld = std::max(worstHeld, error);
            }
        }
        std::cout << s.rate << " Hz, " << s.perBuffer << " a buffer, " << s.bits << " bits, lag "
                  << demodulator.lag() << ": worst error " << worst << ", in the last 15 ms "
                  << worstHeld << "\n";
        EXPECT_LE(worst, 0.01) << s.rate << " " << s.perBuffer;
        EXPECT_LE(worstHeld, 2.5) << s.rate << " " << s.perBuffer;
    }
}

// However the stream is cut, the same stretch gives the same mean: two values
// of buffers of 2048 are one of buffers of 4096. A constant tone reads the
// same on every value from the second buffer on, the stop's line included. A
// card's DC offset is followed and then no longer matters. After a reset the
// next recording reads as if the demodulator were new.
TEST(HighRateDemodulator, DoesNotDependOnHowTheStreamIsCut) {
    Tone tone;
    tone.offsetHertz = 100.0;
    HighRateDemodulator whole(defaultRate, 4096);
    HighRateDemodulator halves(defaultRate, 2048);
    const std::vector<double> wholeValues = demodulate(tone, whole, 16, 60);
    const std::vector<double> halfValues = demodulate(tone, halves, 16, 120);
    ASSERT_EQ(wholeValues.size(), 600u);
    ASSERT_EQ(halfValues.size(), 1200u);
    const double expected = (calibration::carrierHertz + 100.0) / calibration::hertzPerValue;
    for (std::size_t v = 10; v < wholeValues.size(); ++v) {
        EXPECT_NEAR(wholeValues[v], expected, 0.01) << "value " << v;
        EXPECT_NEAR(wholeValues[v], (halfValues[2 * v] + halfValues[2 * v + 1]) / 2.0, 1e-6)
            << "value " << v;
    }

    Tone offset;
    offset.swingHertz = 250.0;
    offset.dc = 0.2;
    whole.reset();
    const std::vector<double> values = demodulate(offset, whole, 16, 120);
    // Within a quarter of a second the offset is gone.
    for (std::size_t v = 125; v + 10 < values.size(); ++v) {
        const double a = static_cast<double>(v) * 409.6;
        EXPECT_NEAR(values[v], offset.meanValue(a, a + 409.6, defaultRate), 0.01) << "value " << v;
    }

    whole.reset();
    EXPECT_EQ(demodulate(tone, whole, 16, 60), wholeValues);
}

}  // namespace
}  // namespace acquisition
