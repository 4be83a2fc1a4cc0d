#include "acquisition/FrontEndSimulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <numeric>
#include <vector>

#include "acquisition/AutoResetEvent.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/RecorderM8.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "acquisition/ValueEstimate.h"

namespace acquisition {
namespace {

using namespace platform;

constexpr int samplesPerBuffer = 4096;
constexpr int sampleRate = 199680;
// About 20 s of signal at 48.75 buffers per second.
constexpr std::size_t bufferCount = 1000;
constexpr double baselineValue = 57.2;
constexpr double valuePerMillivolt = 5.48;

// What a capture recovered, against what the simulator sent.
struct Agreement {
    double correlation = 0.0;
    double rmsMillivolts = 0.0;
    double maxMillivolts = 0.0;
    // Least-squares line of recovered over sent millivolts.
    double slope = 0.0;
    double offsetMillivolts = 0.0;
};

double bufferCentre(std::size_t buffer) {
    return (static_cast<double>(buffer) * samplesPerBuffer + samplesPerBuffer / 2.0) / sampleRate;
}

double toMillivolts(double value) {
    return (value - baselineValue) / valuePerMillivolt;
}

// Runs the capture loop of the worker: for every completed buffer, read it
// after handing the previous one back, transform it and estimate its value.
std::vector<double> captureValues(Recorder& recorder, AutoResetEvent& event, std::size_t count) {
    SpectrumAnalyzer analyzer(samplesPerBuffer, sampleRate);
    std::vector<double> values;
    if (!recorder.start(event)) {
        ADD_FAILURE() << "the simulator refused to start";
        return values;
    }
    while (values.size() < count) {
        if (!event.waitFor(std::chrono::milliseconds(5000))) {
            ADD_FAILURE() << "no buffer completed after " << values.size();
            break;
        }
        while (recorder.currentBufferDone() && values.size() < count) {
            SampleCursor cursor(recorder.currentBufferData(), recorder,
                                recorder.samplesPerBuffer());
            recorder.recycleCurrent();
            analyzer.loadBlock(cursor);
            analyzer.transform();
            values.push_back(estimateValue(analyzer));
        }
    }
    recorder.stop();
    return values;
}

// With as many samples per buffer as transform points, every window is
// exactly the buffer just captured, so its value belongs to the signal at
// that buffer's centre. The first buffer is left out, as a capture's first
// value may carry a start-up transient on a real device.
Agreement compare(const std::vector<double>& values, const HeartSignal& heart) {
    std::vector<double> sent;
    std::vector<double> recovered;
    for (std::size_t k = 1; k < values.size(); ++k) {
        sent.push_back(heart.millivolts(bufferCentre(k)));
        recovered.push_back(toMillivolts(values[k]));
    }
    const double n = static_cast<double>(sent.size());
    const double meanSent = std::accumulate(sent.begin(), sent.end(), 0.0) / n;
    const double meanRecovered = std::accumulate(recovered.begin(), recovered.end(), 0.0) / n;
    double sxy = 0.0;
    double sxx = 0.0;
    double syy = 0.0;
    Agreement result;
    double squares = 0.0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const double dx = sent[i] - meanSent;
        const double dy = recovered[i] - meanRecovered;
        sxy += dx * dy;
        sxx += dx * dx;
        syy += dy * dy;
        const double error = recovered[i] - sent[i];
        squares += error * error;
        result.maxMillivolts = std::max(result.maxMillivolts, std::abs(error));
    }
    result.correlation = sxy / std::sqrt(sxx * syy);
    result.rmsMillivolts = std::sqrt(squares / n);
    result.slope = sxy / sxx;
    result.offsetMillivolts = meanRecovered - result.slope * meanSent;
    return result;
}

// Heart rate from the R peaks of a series of values, one per buffer: local
// maxima above half the tallest value, at least 0.25 s apart, each placed
// between its neighbours by a parabola.
double heartRate(const std::vector<double>& values) {
    const double secondsPerValue = static_cast<double>(samplesPerBuffer) / sampleRate;
    const auto refractory = static_cast<std::size_t>(0.25 / secondsPerValue);
    std::vector<double> mv;
    for (double v : values) {
        mv.push_back(toMillivolts(v));
    }
    const double threshold = 0.5 * *std::max_element(mv.begin() + 1, mv.end());
    std::vector<double> peaks;
    std::size_t last = 0;
    for (std::size_t k = 2; k + 1 < mv.size(); ++k) {
        const bool isPeak = mv[k] > threshold && mv[k] >= mv[k - 1] && mv[k] > mv[k + 1];
        if (!isPeak || (!peaks.empty() && k - last < refractory)) {
            continue;
        }
        const double curvature = mv[k - 1] - 2.0 * mv[k] + mv[k + 1];
        const double shift = curvature != 0.0 ? 0.5 * (mv[k - 1] - mv[k + 1]) / curvature : 0.0;
        peaks.push_back((static_cast<double>(k) + shift) * secondsPerValue);
        last = k;
    }
    if (peaks.size() < 2) {
        return 0.0;
    }
    return 60.0 * static_cast<double>(peaks.size() - 1) / (peaks.back() - peaks.front());
}

// Unpaced unless a speed is given: then the device hands buffers over as a
// sound card would, only `speed` times faster.
SimulatorSettings settingsAt(double beatsPerMinute, double speed = 0.0) {
    SimulatorSettings settings;
    settings.heart.beatsPerMinute = beatsPerMinute;
    settings.speed = speed;
    return settings;
}

void report(const char* what, const Agreement& agreement) {
    std::cout << std::setprecision(4) << what << ": correlation " << agreement.correlation
              << ", RMS error " << agreement.rmsMillivolts << " mV, largest error "
              << agreement.maxMillivolts << " mV, slope " << agreement.slope << ", offset "
              << agreement.offsetMillivolts << " mV\n";
    ::testing::Test::RecordProperty("correlation", std::to_string(agreement.correlation));
    ::testing::Test::RecordProperty("rms_mV", std::to_string(agreement.rmsMillivolts));
}

void reportRate(double rate) {
    std::cout << std::setprecision(7) << "  recovered heart rate " << rate << " per minute\n";
    ::testing::Test::RecordProperty("rate_per_min", std::to_string(rate));
}

class SimulatorCapture : public ::testing::TestWithParam<double> {};

TEST_P(SimulatorCapture, SixteenBitValuesFollowTheHeartSignal) {
    const double rate = GetParam();
    FrontEndSimulator simulator(settingsAt(rate, 20.0));
    AutoResetEvent event;
    RecorderM16 recorder(simulator, samplesPerBuffer, sampleRate);
    const std::vector<double> values = captureValues(recorder, event, bufferCount);
    ASSERT_EQ(values.size(), bufferCount);

    const Agreement agreement = compare(values, simulator.heartSignal());
    const double recoveredRate = heartRate(values);
    report("16-bit", agreement);
    reportRate(recoveredRate);
    EXPECT_GE(agreement.correlation, 0.99);
    EXPECT_LE(agreement.rmsMillivolts, 0.05);
    EXPECT_NEAR(recoveredRate, rate, 1.0);
}

INSTANTIATE_TEST_SUITE_P(HeartRates, SimulatorCapture, ::testing::Values(72.0, 110.0));

TEST(SimulatorCaptureM8, EightBitValuesFollowTheHeartSignal) {
    FrontEndSimulator simulator(settingsAt(72.0));
    AutoResetEvent event;
    RecorderM8 recorder(simulator, samplesPerBuffer, sampleRate);
    const std::vector<double> values = captureValues(recorder, event, bufferCount);
    ASSERT_EQ(values.size(), bufferCount);

    const Agreement agreement = compare(values, simulator.heartSignal());
    const double recoveredRate = heartRate(values);
    report("8-bit", agreement);
    reportRate(recoveredRate);
    EXPECT_GE(agreement.correlation, 0.99);
    EXPECT_LE(agreement.rmsMillivolts, 0.05);
    EXPECT_NEAR(recoveredRate, 72.0, 1.0);
}

// A slow wander with the beat switched off moves the tone across several bins
// of the spectrum at a known rate, which pins the deviation per millivolt and
// the carrier without the smearing of the narrow QRS inside a buffer.
TEST(SimulatorCaptureScale, SlowSwingMovesTheValueByTheDeviationPerMillivolt) {
    SimulatorSettings settings = settingsAt(72.0);
    for (HeartSignal::Wave& wave : settings.heart.waves) {
        wave.millivolts = 0.0;
    }
    settings.heart.wanderMillivolts = 1.5;
    settings.heart.wanderHertz = 0.5;
    FrontEndSimulator simulator(settings);
    AutoResetEvent event;
    RecorderM16 recorder(simulator, samplesPerBuffer, sampleRate);
    const std::vector<double> values = captureValues(recorder, event, 200);
    ASSERT_EQ(values.size(), 200u);

    const Agreement agreement = compare(values, simulator.heartSignal());
    report("slow swing", agreement);
    EXPECT_NEAR(agreement.slope, 1.0, 0.02);
    EXPECT_NEAR(agreement.offsetMillivolts, 0.0, 0.03);
    EXPECT_LE(agreement.rmsMillivolts, 0.05);
}

}  // namespace
}  // namespace acquisition
