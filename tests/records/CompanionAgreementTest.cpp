#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "records/Companion.h"
#include "records/FrontEndCalibration.h"
#include "records/RecordEncoding.h"
#include "records/RecordingFacts.h"
#include "records/StoredRecording.h"
#include "render/TraceFactors.h"
#include "tests/support/CaptureRig.h"
#include "tests/support/RecordText.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScratchDirectory.h"

namespace acquisition {
namespace {

using namespace std::chrono_literals;
using testsupport::Rig;

struct Setting {
    int sampleRate = 0;
    int fftPoints = 0;
    int samplesPerBuffer = 0;
};

// Every combination the window offers: three rates, four FFT sizes, and
// buffers from the FFT's size down by 1024 to 1024.
std::vector<Setting> everySetting() {
    std::vector<Setting> settings;
    for (const int rate : {199680, 399360, 798720}) {
        for (const int fft : {1024, 2048, 4096, 8192}) {
            for (int buffer = fft; buffer >= 1024; buffer -= 1024) {
                settings.push_back({rate, fft, buffer});
            }
        }
    }
    return settings;
}

double valuesPerSecond(const Setting& s) {
    return static_cast<double>(s.sampleRate) / s.samplesPerBuffer;
}

// Where the rule cannot tell a stranger's companion from the genuine one,
// marked, with the figures the test prints for every setting.
//
// A companion one line out of step is told apart only where the spectrum's
// stretch is its own buffer alone and a line lasts 10 ms or more: where the
// stretches of neighbouring lines overlap, or lines come faster, the values
// of the next line lie within the widening of the line's own stretch.
bool lineShiftVisible(const Setting& s) {
    return s.samplesPerBuffer == s.fftPoints && valuesPerSecond(s) <= 100.0;
}
// Another recording is told apart where the widening of 0.5 is less than a
// millivolt; at 798720 samples a second with 1024 points (one bin 780 Hz,
// 0.34 a millivolt) it spans 1.5 mV, more than the whole beat.
bool strangerVisible(const Setting& s) {
    return 0.5 / records::valuesPerMillivoltAt(s.sampleRate, s.fftPoints) < 1.0;
}

// A recording as a reader finds it on disk: the record's values with the
// markers off, its companion and its facts.
struct Recorded {
    std::vector<double> values;
    std::vector<double> companion;
    records::RecordingFacts facts;
};

// Records from the unpaced simulator through the capture worker at
// `setting`, for at least `buffers` buffers, and stops.
Recorded record(const Setting& setting, double beatsPerMinute, long long buffers) {
    testsupport::ScratchDirectory scratch;
    SimulatorSettings simulator = Rig::unpaced();
    simulator.heart.beatsPerMinute = beatsPerMinute;
    Rig rig(nullptr, simulator);
    EXPECT_TRUE(rig.painter->configure(setting.samplesPerBuffer, setting.sampleRate,
                                       setting.fftPoints, 16, render::factors::defaultSpeed,
                                       render::factors::defaultGain));
    EXPECT_TRUE(rig.painter->startCapture());
    EXPECT_TRUE(rig.waitForBuffers(buffers, 120s));
    rig.painter->stopCapture();

    Recorded r;
    r.values = testsupport::readRecordValues("REC.txt");
    records::decodeRecord(r.values);
    r.companion = records::readCompanion("REC.hr.txt", r.values.size() + 1);
    const records::FactsReading facts = records::readFacts("REC.txt");
    EXPECT_EQ(facts.status, records::FactsReading::Status::Read) << facts.reason;
    r.facts = facts.facts;
    return r;
}

// How well a companion agrees with the values, measured as companionAgrees
// decides: of the values with a tone (within 600 Hz of the carrier, their
// window within the recording, before the lines its stop completed), the
// share that lies within the lowest and highest companion value of the
// stretch its spectrum saw, widened by 0.5 (and a quarter bin where the
// window joins buffers); and how far beyond its stretch the farthest lies.
struct Agreement {
    double share = 0.0;
    double farthest = 0.0;
    std::size_t withTone = 0;
};

Agreement measure(const std::vector<double>& companion, const std::vector<double>& values,
                  const records::RecordingFacts& f) {
    Agreement a;
    const double band = 600.0 / records::calibration::hertzPerMillivolt * f.valuesPerMillivolt;
    const double s = f.samplesPerBuffer;
    const auto bufferOf = [&](std::size_t line) {
        const auto k = static_cast<long long>(line);
        return static_cast<double>(k + f.skippedBefore(k));
    };
    const double widening = 0.5 + (f.fftPoints > f.samplesPerBuffer ? 0.25 * 1.625 : 0.0);
    const auto held = static_cast<std::size_t>(std::ceil(0.02 * f.valuesPerSecond));
    std::size_t agreeing = 0;
    for (std::size_t k = 0; k + held < values.size(); ++k) {
        const double windowStart = (bufferOf(k) + 1.0) * s - f.fftPoints;
        if (std::abs(values[k] - f.zeroValue) > band || windowStart < 0.0) {
            continue;
        }
        ++a.withTone;
        double lowest = companion[k * 10];
        double highest = lowest;
        for (std::size_t j = k + 1; j-- > 0 && bufferOf(j) * s + s > windowStart;) {
            for (std::size_t t = 0; t < 10; ++t) {
                if (bufferOf(j) * s + static_cast<double>(t + 1) * s / 10 > windowStart) {
                    lowest = std::min(lowest, companion[j * 10 + t]);
                    highest = std::max(highest, companion[j * 10 + t]);
                }
            }
        }
        const double distance = std::max({0.0, lowest - values[k], values[k] - highest});
        a.farthest = std::max(a.farthest, distance);
        agreeing += distance <= widening ? 1 : 0;
    }
    a.share =
        a.withTone > 0 ? static_cast<double>(agreeing) / static_cast<double>(a.withTone) : 0.0;
    return a;
}

// Whether the window, which reads a companion a line at a time and holds a
// few, finds `companion` beside a record of `values` without identities
// to belong as readRecording's rule on the whole file does.
::testing::AssertionResult belongsAsWhole(const std::vector<double>& companion,
                                          const std::vector<double>& values,
                                          const records::RecordingFacts& facts) {
    testsupport::ScratchDirectory scratch;
    if (!testsupport::writeCompanion("X.txt", companion)) {
        return ::testing::AssertionFailure() << "no companion written";
    }
    records::StoredRecording recording;
    recording.values = values;
    recording.facts = facts;
    recording.facts.record.reset();
    const bool whole = records::companionAgrees(
        records::readCompanion("X.hr.txt", values.size() + 1), values, recording.facts);
    if (records::companionBelongs("X.txt", recording) != whole) {
        return ::testing::AssertionFailure() << "read a line at a time, it differs: " << whole;
    }
    return ::testing::AssertionSuccess();
}

// The companion moved by whole lines: `lines` later (each line holds the
// values of the line before), or earlier for a negative count, the lines at
// the edge repeated.
std::vector<double> shifted(const std::vector<double>& companion, int lines) {
    const auto n = static_cast<long long>(companion.size() / 10);
    std::vector<double> out;
    for (long long k = 0; k < n; ++k) {
        const long long from = std::clamp(k - lines, 0LL, n - 1);
        out.insert(out.end(), companion.begin() + from * 10, companion.begin() + from * 10 + 10);
    }
    return out;
}

// Every companion the capture worker writes belongs to its record by the
// rule a reader applies when no identities vouch for it, at every rate, FFT
// size and buffer the window offers; the same companion a line late or
// early, or that of another recording (90 beats a minute, cut to the same
// length), is refused. Each recording is two seconds of signal and at least
// 150 values. Prints a row a setting: the share of the values with a tone
// that agree, and the farthest one's distance, for the genuine companion,
// the shares for the three that must not be taken, and the marks above.
TEST(CompanionAgreement, TheWorkersCompanionAgreesAtEverySettingAndAStrangerDoesNot) {
    std::printf("%7s %5s %6s %5s %8s %8s | %7s %7s %7s  %s\n", "rate", "fft", "buffer", "lines",
                "genuine", "farthest", "late", "early", "other", "marked");
    double worstShare = 1.0;
    for (const Setting& setting : everySetting()) {
        SCOPED_TRACE(::testing::Message()
                     << setting.sampleRate << " samples/s, " << setting.fftPoints << " points, "
                     << setting.samplesPerBuffer << " a buffer");
        // Within the five panes after which the worker stops by itself.
        const long long buffers = std::min<long long>(
            std::max(std::llround(2.0 * valuesPerSecond(setting)), 150LL), 5 * 461 - 40);
        const Recorded genuine = record(setting, 72.0, buffers);
        const Recorded other = record(setting, 90.0, buffers);
        EXPECT_EQ(genuine.facts.sampleRate, setting.sampleRate);
        EXPECT_EQ(genuine.facts.samplesPerBuffer, setting.samplesPerBuffer);
        EXPECT_EQ(genuine.facts.fftPoints, setting.fftPoints);
        EXPECT_FALSE(genuine.facts.skippedAfterLines.empty());
        ASSERT_EQ(genuine.companion.size(), genuine.values.size() * 10);
        ASSERT_EQ(other.companion.size(), other.values.size() * 10);
        // Both as long as the shorter (the stop comes a few buffers after
        // the count): the genuine one cut as SAVE cuts a recording.
        const std::size_t lines = std::min(genuine.values.size(), other.values.size());
        ASSERT_GE(lines, 140u);
        const std::vector<double> values(genuine.values.begin(), genuine.values.begin() + lines);
        const std::vector<double> own(genuine.companion.begin(),
                                      genuine.companion.begin() + lines * 10);
        const std::vector<double> stranger(other.companion.begin(),
                                           other.companion.begin() + lines * 10);

        struct Candidate {
            const char* name;
            std::vector<double> companion;
            bool mustAgree;
            bool checked;
        };
        const Candidate candidates[] = {
            {"genuine", own, true, true},
            {"a line late", shifted(own, 1), false, lineShiftVisible(setting)},
            {"a line early", shifted(own, -1), false, lineShiftVisible(setting)},
            {"of another recording", stranger, false, strangerVisible(setting)},
        };
        std::vector<Agreement> measured;
        // Nearly every value holds the tone.
        EXPECT_GT(measure(own, values, genuine.facts).withTone, lines * 9 / 10);
        for (const Candidate& c : candidates) {
            const Agreement a = measure(c.companion, values, genuine.facts);
            const bool agrees = records::companionAgrees(c.companion, values, genuine.facts);
            // The figures printed are those the reader's rule goes by.
            EXPECT_EQ(agrees, a.share >= 0.99) << c.name << " agrees " << a.share;
            if (c.checked) {
                EXPECT_EQ(agrees, c.mustAgree) << "the companion " << c.name << ": agreeing "
                                               << a.share << ", farthest " << a.farthest;
            }
            EXPECT_TRUE(belongsAsWhole(c.companion, values, genuine.facts)) << c.name;
            measured.push_back(a);
        }
        // Cut short by a line, or a line longer: neither belongs.
        const std::vector<double> cut(own.begin(), own.end() - 10);
        EXPECT_TRUE(belongsAsWhole(cut, values, genuine.facts));
        std::vector<double> longer = own;
        longer.insert(longer.end(), own.end() - 10, own.end());
        EXPECT_TRUE(belongsAsWhole(longer, values, genuine.facts));
        worstShare = std::min(worstShare, measured[0].share);
        std::string marks;
        marks += lineShiftVisible(setting) ? "" : "shift-unseen ";
        marks += strangerVisible(setting) ? "" : "stranger-unseen";
        std::printf("%7d %5d %6d %5zu %8.4f %8.3f | %7.4f %7.4f %7.4f  %s\n", setting.sampleRate,
                    setting.fftPoints, setting.samplesPerBuffer, lines, measured[0].share,
                    measured[0].farthest, measured[1].share, measured[2].share, measured[3].share,
                    marks.c_str());
        std::fflush(stdout);
    }
    std::printf("worst agreeing share of a genuine companion: %.4f\n", worstShare);
}

}  // namespace
}  // namespace acquisition
