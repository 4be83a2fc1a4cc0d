#include "BufferAnalysis.h"

#include "records/RecordingFacts.h"

namespace acquisition {

BufferAnalysis::BufferAnalysis(int sampleRate, int samplesPerBuffer, int fftPoints)
    : sampleRate_(sampleRate),
      samplesPerBuffer_(samplesPerBuffer),
      analyzer_(std::make_unique<SpectrumAnalyzer>(fftPoints, sampleRate)),
      judge_(sampleRate, samplesPerBuffer, fftPoints),
      companionScale_(records::valueScaleAt(sampleRate, fftPoints)) {
    // Settings the demodulator cannot take give a recording without a
    // companion.
    if (sampleRate >= HighRateDemodulator::minimumRate &&
        samplesPerBuffer >= HighRateDemodulator::valuesPerBuffer) {
        demodulator_ = std::make_unique<HighRateDemodulator>(sampleRate, samplesPerBuffer);
    }
    held_.resize(demodulator_ ? static_cast<std::size_t>(demodulator_->lag()) + 1 : 1);
}

void BufferAnalysis::reset() {
    analyzer_->clearHistory();
    first_ = 0;
    count_ = 0;
    pushed_ = 0;
    judge_.reset();
    if (demodulator_) {
        demodulator_->reset();
    }
}

PeakReading BufferAnalysis::push(SampleCursor samples, int sign, BufferSink& sink, SoundLost lost) {
    // The demodulator reads the same samples after the spectrum.
    const SampleCursor again = samples;
    analyzer_->loadBlock(samples);
    analyzer_->transform();
    PeakReading reading = readPeak(*analyzer_);
    reading.quality = judge_.judgeSpectrum(reading);
    const Held buffer{reading, sign, pushed_++, lost.buffers};
    if (!demodulator_) {
        sink.take({reading.value,
                   reading.prominence,
                   sign,
                   buffer.index,
                   {},
                   judge_.judge(reading, {}),
                   buffer.lostBefore});
        return reading;
    }
    if (lost.any) {
        finish(sink);
        demodulator_->reset();
    }
    const bool oldestComplete = demodulator_->push(again, line_);
    held_[(first_ + count_) % held_.size()] = buffer;
    count_ = std::min(count_ + 1, held_.size());
    if (oldestComplete && count_ > 0) {
        handOldest(sink);
    }
    return reading;
}

void BufferAnalysis::finish(BufferSink& sink) {
    while (demodulator_ && count_ > 0 && demodulator_->finish(line_)) {
        if (!handOldest(sink)) {
            break;
        }
    }
    first_ = 0;
    count_ = 0;
}

bool BufferAnalysis::handOldest(BufferSink& sink) {
    if (companionScale_ != 1.0) {
        // On the record's own scale, as the spectrum's values are.
        for (double& v : line_) {
            v *= companionScale_;
        }
    }
    const Held oldest = held_[first_];
    first_ = (first_ + 1) % held_.size();
    count_ -= 1;
    const ToneQuality quality = judge_.judge(oldest.reading, line_);
    return sink.take({oldest.reading.value, oldest.reading.prominence, oldest.sign, oldest.index,
                      line_, quality, oldest.lostBefore});
}

}  // namespace acquisition
