#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <vector>

#include "acquisition/AutoResetEvent.h"
#include "acquisition/FrontEndSimulator.h"
#include "acquisition/RecorderM16.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/SpectrumAnalyzer.h"
#include "acquisition/ValueEstimate.h"
#include "records/FrontEndCalibration.h"

namespace testsupport {

// The simulator's ECG as the program records it: its tone captured buffer by
// buffer at the default settings (199680 samples a second, 4096 a buffer),
// each buffer's strongest frequency one value. Unpaced, so 20 s of ECG take
// a fraction of that.
struct SimulatedEcg {
    static constexpr int sampleRate = 199680;
    static constexpr int samplesPerBuffer = 4096;
    static constexpr double valuesPerSecond = static_cast<double>(sampleRate) / samplesPerBuffer;

    acquisition::HeartSignal heart;
    std::vector<double> values;

    // The time of value k: its buffer's centre.
    static double timeOf(std::size_t k) { return (static_cast<double>(k) + 0.5) / valuesPerSecond; }
};

inline SimulatedEcg recordSimulatedEcg(double beatsPerMinute, std::size_t count) {
    acquisition::SimulatorSettings settings;
    settings.heart.beatsPerMinute = beatsPerMinute;
    settings.speed = 0.0;
    acquisition::FrontEndSimulator simulator(settings);
    acquisition::RecorderM16 recorder(simulator, SimulatedEcg::samplesPerBuffer,
                                      SimulatedEcg::sampleRate);
    acquisition::AutoResetEvent event;
    acquisition::SpectrumAnalyzer analyzer(SimulatedEcg::samplesPerBuffer,
                                           SimulatedEcg::sampleRate);
    SimulatedEcg ecg{simulator.heartSignal(), {}};
    if (!recorder.start(event)) {
        return ecg;
    }
    while (ecg.values.size() < count && event.waitFor(std::chrono::milliseconds(5000))) {
        while (recorder.currentBufferDone() && ecg.values.size() < count) {
            acquisition::SampleCursor cursor(recorder.currentBufferData(), recorder,
                                             recorder.samplesPerBuffer());
            recorder.recycleCurrent();
            analyzer.loadBlock(cursor);
            analyzer.transform();
            ecg.values.push_back(acquisition::estimateValue(analyzer));
        }
    }
    recorder.stop();
    return ecg;
}

// Breathing and electrode drift, in values: `millivolts` at `hertz`.
inline void addWander(std::vector<double>& values, double millivolts, double hertz) {
    const double pi = std::acos(-1.0);
    for (std::size_t k = 0; k < values.size(); ++k) {
        values[k] += millivolts * records::calibration::perMillivolt *
                     std::sin(2.0 * pi * hertz * SimulatedEcg::timeOf(k));
    }
}

// The levels a cardiologist reads off the median beat, in millivolts, each
// against the PR segment of its own beat.
struct BeatLevels {
    double r = 0.0;
    double st = 0.0;     // 120 ms after R
    double tPeak = 0.0;  // the highest point 140 to 400 ms after R
};

inline BeatLevels medianBeat(const std::vector<double>& values,
                             const acquisition::HeartSignal& heart) {
    const double rate = SimulatedEcg::valuesPerSecond;
    const auto at = [&](double seconds) { return static_cast<int>(std::lround(seconds * rate)); };
    const int st = at(0.12);
    const int tFirst = at(0.14);
    const int tLast = at(0.40);
    std::vector<std::vector<double>> levels(3);
    const int n = static_cast<int>(values.size());
    // Beats whole inside the record and clear of its first and last second.
    for (int beat = 0;; ++beat) {
        const double t = heart.rPeakTime(beat);
        if (t < 1.0) {
            continue;
        }
        const int expected = static_cast<int>(t * rate - 0.5);
        if (expected + tLast + 1 >= n - static_cast<int>(rate)) {
            break;
        }
        // The R wave is the highest value near its instant.
        int r = expected - 1;
        for (int k = expected - 1; k <= expected + 1; ++k) {
            if (values[static_cast<std::size_t>(k)] > values[static_cast<std::size_t>(r)]) {
                r = k;
            }
        }
        const auto v = [&](int k) { return values[static_cast<std::size_t>(k)]; };
        // The PR segment: 60 to 100 ms before R, between P and Q.
        const double pr = (v(r - at(0.08)) + v(r - at(0.08) - 1)) / 2.0;
        double t_peak = v(r + tFirst);
        for (int k = r + tFirst; k <= r + tLast; ++k) {
            t_peak = std::max(t_peak, v(k));
        }
        levels[0].push_back(v(r) - pr);
        levels[1].push_back(v(r + st) - pr);
        levels[2].push_back(t_peak - pr);
    }
    const auto median = [](std::vector<double> x) {
        if (x.empty()) {
            return 0.0;
        }
        std::nth_element(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(x.size() / 2), x.end());
        return x[x.size() / 2] / records::calibration::perMillivolt;
    };
    return {median(levels[0]), median(levels[1]), median(levels[2])};
}

}  // namespace testsupport
