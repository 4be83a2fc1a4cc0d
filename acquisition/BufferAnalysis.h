#pragma once

#include <memory>
#include <span>
#include <vector>

#include "HighRateDemodulator.h"
#include "SampleCursor.h"
#include "SpectrumAnalyzer.h"
#include "ToneJudge.h"
#include "ToneQuality.h"
#include "ValueEstimate.h"

namespace acquisition {

// The sound a device lost just before a buffer, when the capture fell
// behind: whether any was lost (the buffer's samples do not go on from the
// last one's), and how many whole buffers' time that makes.
struct SoundLost {
    bool any = false;
    long long buffers = 0;
};

// One buffer as it is stored: its value (the strongest frequency of the
// spectrum over the last FFT points, on the default settings' scale), how
// far that stood out (the tone's prominence), the sign of its marker, its
// number since the recording began, the ten values the demodulator gives it
// on the record's own scale (none at settings it cannot take), how far
// its values can be trusted (ToneJudge), and the whole buffers lost just
// before it.
struct AnalysedBuffer {
    double value = 0.0;
    double prominence = 0.0;
    int sign = 1;
    long long index = 0;
    std::span<const double> tenValues;
    ToneQuality quality = ToneQuality::good;
    long long lostBefore = 0;
};

// Where analysed buffers go: the live trace and the working recording, or
// a decoded file's output.
class BufferSink {
public:
    virtual ~BufferSink() = default;
    // One buffer, in order; false when nothing more is to come to it (the
    // disk refused it).
    virtual bool take(const AnalysedBuffer& buffer) = 0;
};

// The work every captured buffer takes, wherever its samples come from and
// wherever its results go: the spectrum and its peak, and the high-rate
// demodulator, whose ten values of a buffer are complete only once it has
// seen the buffers after it (lag(): one at the default settings), so a
// buffer is handed on that much later, and the last ones at finish(). The
// same samples give the same values and lines, live or from a file. All
// memory is allocated by the constructor; nothing per buffer.
class BufferAnalysis {
public:
    // Throws as SpectrumAnalyzer does for settings it cannot take.
    BufferAnalysis(int sampleRate, int samplesPerBuffer, int fftPoints);

    // A new recording: nothing of the last one is kept.
    void reset();
    // Takes the next buffer (samplesPerBuffer samples). Its reading comes
    // back at once (for the tone watch: its quality then from the spectrum
    // alone, good or without tone); every buffer whose ten values are
    // now complete goes to `sink`, oldest first. Sound lost before it ends
    // the demodulator's stretch there, as a stop would, and starts a new one:
    // a jump of the tone's phase would read as a spike.
    PeakReading push(SampleCursor samples, int sign, BufferSink& sink, SoundLost lost = {});
    // At the end: the buffers still held go to `sink`, the look-ahead their
    // ten values lack made up.
    void finish(BufferSink& sink);

    bool hasCompanion() const { return demodulator_ != nullptr; }
    const SpectrumAnalyzer& spectrum() const { return *analyzer_; }
    int sampleRate() const { return sampleRate_; }
    int samplesPerBuffer() const { return samplesPerBuffer_; }
    int fftPoints() const { return analyzer_->fftPoints(); }

private:
    struct Held {
        PeakReading reading;
        int sign = 1;
        long long index = 0;
        long long lostBefore = 0;
    };
    // Hands the oldest buffer held to `sink` with the ten values in line_.
    bool handOldest(BufferSink& sink);

    int sampleRate_;
    int samplesPerBuffer_;
    std::unique_ptr<SpectrumAnalyzer> analyzer_;
    std::unique_ptr<HighRateDemodulator> demodulator_;
    ToneJudge judge_;
    // The factor that puts the demodulator's values on the record's scale.
    double companionScale_ = 1.0;
    // The buffers held for the demodulator's look-ahead, oldest first, in a
    // ring made for it.
    std::vector<Held> held_;
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    long long pushed_ = 0;
    HighRateDemodulator::Line line_{};
};

}  // namespace acquisition
