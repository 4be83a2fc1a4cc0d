#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace acquisition {

class SampleCursor;

// The front end's tone demodulated at ten values a buffer: value j of a
// buffer of S samples is the tone's mean frequency over its samples j S/10 to
// (j + 1) S/10 (fractional boundaries), on the record's scale (hertz / 30),
// of the frequency low-passed flat to 150 Hz. At the default settings that is
// 487.5 values a second beside the one value a buffer the spectrum gives.
//
// An FM discriminator that runs on across buffers. The samples are mixed
// down at the carrier and decimated to about 8 kHz in one step by a
// triangular kernel (two boxcars), the mixing folded into the kernel so that
// the carrier is taken off only at the decimated rate, from an exact integer
// phase index (no drift, however long the recording); a 5 Hz high-pass there
// takes off the input's DC level. A Kaiser-windowed low-pass, flat to 600 Hz
// and 75 dB down from 1.1 kHz, keeps every other sample: as narrow as the
// ECG allows, so that noise on the line slips the phase as seldom as it can.
// Their phase steps, each the nearest turn from one sample to the next, pass
// a second low-pass, flat to 150 Hz and 50 dB down from 380 Hz, that keeps
// the noise near multiples of the value rate from folding onto the ECG.
// Where the tone fades far below its running level (a room's echoes
// cancelling it, noise), its phase turns by anything: such a step counts in
// proportion to the tone's power, the rest of it taken from the steps
// before. A stretch's mean frequency is then the phase's advance over its
// duration, read at the fractional boundaries by cubic interpolation. All
// filters are symmetric: their delay is constant and taken off, so each
// value lies in its own buffer's time.
//
// A buffer's values need samples of the buffers after it (the filters reach
// about 11 ms ahead): they come out lag() pushes later: one at the default
// settings, more where buffers are shorter. All memory is allocated by the
// constructor. Not thread-safe: the capture worker alone uses it.
class HighRateDemodulator {
public:
    static constexpr int valuesPerBuffer = 10;
    using Line = std::array<double, valuesPerBuffer>;

    static constexpr int minimumRate = 8000;

    // Throws std::invalid_argument for a rate below minimumRate or fewer than
    // valuesPerBuffer samples a buffer.
    HighRateDemodulator(int sampleRate, int samplesPerBuffer);

    // A new recording starts: nothing of the previous one is kept.
    void reset();
    // Takes the next buffer (samplesPerBuffer() samples; another size is
    // refused with std::invalid_argument). True, with `completed` filled, when
    // it completes the values of the buffer pushed lag() buffers before it;
    // false while the first lag() buffers of a recording come in.
    bool push(SampleCursor cursor, Line& completed);
    // At the stop, after the last push: the values still owed, oldest buffer
    // first, one buffer a call (at most lag() of them, the last buffer's
    // alone at the default settings); false when none is left. What lies beyond the last
    // sample is taken to go on at the frequency of the last millisecond.
    // A recording too short for any frequency reads the carrier (0 mV).
    bool finish(Line& completed);

    int sampleRate() const { return sampleRate_; }
    int samplesPerBuffer() const { return samplesPerBuffer_; }
    int lag() const { return lag_; }

private:
    void designMixer();
    void designLowPass();
    void designSmoother();
    int computeLag() const;

    void loadSamples(SampleCursor& cursor);
    void mixDown();
    void lowPass(int count);
    void appendPhase(double re, double im);
    void emitLine(std::int64_t buffer, Line& line) const;
    double phaseAt(std::int64_t tenTimes, std::int64_t lo, std::int64_t hi, double startSlope,
                   double endSlope) const;
    void dropBefore(std::int64_t index);
    double phase(std::int64_t index) const {
        return phase_[static_cast<std::size_t>(index - phaseStart_)];
    }

    int sampleRate_;
    int samplesPerBuffer_;
    // First stage: decimation, kernel length (2 decimation - 1).
    int decimation_;
    int mixerLength_;
    // Second stage: odd length, half its length, decimation.
    static constexpr int lowPassStride = 2;
    int lowPassLength_ = 0;
    int lowPassHalf_ = 0;
    // Third stage, on the phase's steps: odd length, half its length.
    int smootherLength_ = 0;
    int smootherHalf_ = 0;
    // How far a kept phase sample's centre lies before its index times the
    // spacing, in input samples.
    std::int64_t phaseDelay_ = 0;
    // Kept phase samples: input samples between two, and how many make the
    // last millisecond that a hold continues.
    std::int64_t phaseSpacing_;
    int holdSamples_;
    // The first phase sample whose filters saw no time before the recording.
    std::int64_t firstValid_;
    int lag_ = 1;

    // The mixer kernel with the carrier folded in, reversed so that it runs
    // forward over the samples; the low-pass; the carrier's phasor at an
    // integer phase index q (e^{-2 pi i q / rate}) as coarse times fine.
    std::vector<double> mixerRe_;
    std::vector<double> mixerIm_;
    std::vector<double> lowPass_;
    std::vector<double> smoother_;
    std::vector<double> coarseRe_;
    std::vector<double> coarseIm_;
    std::vector<double> fineRe_;
    std::vector<double> fineIm_;
    std::int64_t carrierStep_ = 0;
    double dcWeight_ = 0.0;
    double levelWeight_ = 0.0;

    // Working memory: the buffer's samples, the input with the mixer's
    // history in front, the baseband with the low-pass's history in front,
    // and the window of unwrapped phases.
    std::vector<int> samples_;
    std::vector<double> input_;
    std::vector<double> basebandRe_;
    std::vector<double> basebandIm_;
    std::vector<double> steps_;
    std::vector<double> phase_;

    // Running state, cleared by reset().
    double dcRe_ = 0.0;
    double dcIm_ = 0.0;
    int mixerNext_ = 0;
    int lowPassNext_ = 0;
    std::size_t stepNext_ = 0;
    std::int64_t carrierIndex_ = 0;
    std::int64_t phaseStart_ = 0;
    std::int64_t phaseCount_ = 0;
    double lastAngle_ = 0.0;
    double lastPhase_ = 0.0;
    // The smoothed step last added, and the tone's running power.
    double lastStep_ = 0.0;
    double level_ = 0.0;
    std::int64_t pushed_ = 0;
    std::int64_t nextLine_ = 0;
};

}  // namespace acquisition
