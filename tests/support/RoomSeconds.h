#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "acquisition/BufferAnalysis.h"
#include "acquisition/CaptureDefaults.h"
#include "acquisition/HeartSignal.h"
#include "acquisition/SampleCursor.h"
#include "acquisition/ToneMarks.h"
#include "platform/AudioFile.h"
#include "records/FrontEndCalibration.h"

namespace testsupport {

// A tone file decoded as the decoder decodes it, and each second of its
// companion judged against the heart signal it was made from.

struct DecodedTone {
    // Ten values a buffer, in millivolts.
    std::vector<double> companion;
    std::vector<acquisition::AnalysedBuffer> buffers;
    std::vector<acquisition::ToneQuality> quality;
};

class KeepBuffers final : public acquisition::BufferSink {
public:
    explicit KeepBuffers(DecodedTone& tone) : tone_(tone) {}
    bool take(const acquisition::AnalysedBuffer& buffer) override {
        for (const double v : buffer.tenValues) {
            tone_.companion.push_back(records::calibration::toMillivolts(v));
        }
        tone_.buffers.push_back(buffer);
        tone_.buffers.back().tenValues = {};
        tone_.quality.push_back(buffer.quality);
        return true;
    }

private:
    DecodedTone& tone_;
};

// The file's first channel resampled to the default settings, analysed
// buffer by buffer (an empty result when it cannot be read).
inline DecodedTone decodeTone(const std::string& path) {
    namespace defaults = acquisition::defaults;
    DecodedTone tone;
    std::string reason;
    const std::unique_ptr<platform::AudioFile> file = platform::AudioFile::open(path, reason);
    if (!file || !file->deliver(0, defaults::sampleRate).empty()) {
        return tone;
    }
    acquisition::BufferAnalysis analysis(defaults::sampleRate, defaults::samplesPerBuffer,
                                         defaults::fftPoints);
    KeepBuffers keep(tone);
    std::vector<std::int16_t> block(static_cast<std::size_t>(defaults::samplesPerBuffer));
    int sign = 1;
    while (file->read(block.data(), block.size()) == block.size()) {
        analysis.push(acquisition::SampleCursor(block.data(), defaults::samplesPerBuffer), sign,
                      keep);
        sign = -sign;
    }
    analysis.finish(keep);
    return tone;
}

inline constexpr double companionRate =
    10.0 * acquisition::defaults::sampleRate / acquisition::defaults::samplesPerBuffer;  // 487.5

// The heart signal at the centre of each of `count` companion values.
inline std::vector<double> heartAtValues(const acquisition::HeartSignal& heart, std::size_t count) {
    std::vector<double> truth(count);
    for (std::size_t k = 0; k < count; ++k) {
        truth[k] = heart.millivolts((static_cast<double>(k) + 0.5) / companionRate);
    }
    return truth;
}

// Low-passed at 40 Hz without delay (a Hamming-windowed sinc of 121 taps);
// the first and last 60 values are left at 0.
inline std::vector<double> lowPassed40(const std::vector<double>& x) {
    const int half = 60;
    const double cut = 40.0 / companionRate;
    std::vector<double> taps;
    double sum = 0.0;
    for (int i = -half; i <= half; ++i) {
        const double a = std::numbers::pi * i;
        const double sinc = i == 0 ? 2.0 * cut : std::sin(2.0 * a * cut) / a;
        taps.push_back(sinc * (0.54 + 0.46 * std::cos(a / half)));
        sum += taps.back();
    }
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t k = half; k + half < x.size(); ++k) {
        double acc = 0.0;
        for (int i = -half; i <= half; ++i) {
            acc += taps[static_cast<std::size_t>(i + half)] * x[k + static_cast<std::size_t>(i)];
        }
        y[k] = acc / sum;
    }
    return y;
}

// The RMS error in millivolts of each whole second of `ecg` against `truth`
// (both low-passed at 40 Hz), each after the 4 s around it is aligned at
// the lag within 60 ms that fits it best. The first and last seconds, which
// lack that much around them, are left out: entry 0 is second 2.
inline std::vector<double> secondErrors(const std::vector<double>& ecg,
                                        const std::vector<double>& truth) {
    const std::vector<double> a = lowPassed40(ecg);
    const std::vector<double> b = lowPassed40(truth);
    const auto perSecond = companionRate;
    const auto maxLag = static_cast<long long>(0.060 * companionRate);
    const auto n = static_cast<long long>(std::min(a.size(), b.size()));
    std::vector<double> errors;
    for (long long s = 2; (s + 3) * perSecond < static_cast<double>(n); ++s) {
        const auto from = static_cast<long long>(s * perSecond);
        const auto to = static_cast<long long>((s + 1) * perSecond);
        const auto squared = [&](long long lo, long long hi, long long lag) {
            double sum = 0.0;
            for (long long k = lo; k < hi; ++k) {
                const double e =
                    a[static_cast<std::size_t>(k)] - b[static_cast<std::size_t>(k + lag)];
                sum += e * e;
            }
            return sum;
        };
        const auto aroundFrom = static_cast<long long>((s - 1.5) * perSecond);
        const auto aroundTo = static_cast<long long>((s + 2.5) * perSecond);
        long long best = 0;
        double bestSum = squared(aroundFrom, aroundTo, 0);
        for (long long lag = -maxLag; lag <= maxLag; ++lag) {
            const double sum = squared(aroundFrom, aroundTo, lag);
            if (sum < bestSum) {
                bestSum = sum;
                best = lag;
            }
        }
        errors.push_back(std::sqrt(squared(from, to, best) / static_cast<double>(to - from)));
    }
    return errors;
}

// The buffers a reader of the recording sees marked: those in the
// stretches without tone and with doubtful tone the outputs list.
inline std::vector<bool> markedBuffers(const std::vector<acquisition::ToneQuality>& quality) {
    const double perSecond = static_cast<double>(acquisition::defaults::sampleRate) /
                             acquisition::defaults::samplesPerBuffer;
    // The stretches the outputs list, by the very rules they list them.
    acquisition::ToneMarks marks(perSecond);
    for (const acquisition::ToneQuality q : quality) {
        marks.take(q);
    }
    marks.finish();
    std::vector<bool> marked(quality.size(), false);
    for (const auto* stretches : {&marks.withoutTone(), &marks.doubtful()}) {
        for (const auto& [first, count] : *stretches) {
            std::fill_n(marked.begin() + static_cast<std::ptrdiff_t>(first),
                        static_cast<std::ptrdiff_t>(count), true);
        }
    }
    return marked;
}

// Whether second `s` (from 0) is marked: any buffer that holds one of its
// companion values lies in a listed stretch.
inline bool secondMarked(const std::vector<bool>& marked, long long s) {
    const double perSecond = static_cast<double>(acquisition::defaults::sampleRate) /
                             acquisition::defaults::samplesPerBuffer;
    const auto from = static_cast<std::size_t>(std::floor(static_cast<double>(s) * perSecond));
    const auto to = std::min(
        marked.size(), static_cast<std::size_t>(std::ceil(static_cast<double>(s + 1) * perSecond)));
    for (std::size_t i = from; i < to; ++i) {
        if (marked[i]) {
            return true;
        }
    }
    return false;
}

}  // namespace testsupport
