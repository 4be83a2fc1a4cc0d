#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BufferAnalysis.h"
#include "ToneMarks.h"
#include "records/DecodedOutput.h"
#include "records/RecordingFacts.h"

namespace acquisition {

// Between the analysis of a tone file's buffers and the recording made of
// them: the stretches without the front end's tone (before it was held to
// the phone, speech, silence) are left out at the start and the end, and
// kept but listed where they fall inside, as are those whose tone is
// doubtful (ToneMarks). A stretch of tone begins with a
// second of it without a break; one without tone, with a buffer that lacks
// it. What may turn out to be the end is held back (beyond a few minutes in
// a file the output provides in its own folder), so the memory taken does
// not grow with the file; should that file fail, so does the decoding.
class ToneStretches final : public BufferSink {
public:
    // `facts`: the recording's, its start that of the file's first buffer.
    // At most `maxLines` lines are kept (negative: all), as the window keeps
    // what a live recording would.
    ToneStretches(records::DecodedOutput& out, records::RecordingFacts facts, long long maxLines);
    ~ToneStretches() override;
    ToneStretches(const ToneStretches&) = delete;
    ToneStretches& operator=(const ToneStretches&) = delete;

    bool take(const AnalysedBuffer& buffer) override;
    // The file is read: what was held back is left out as its end. Empty
    // on success, otherwise why the output could not be completed.
    std::string finish();

    // Whether a stretch of tone was found, how many of its buffers held
    // the tone, and the lines kept (after finish()).
    bool found() const { return started_; }
    double toneSeconds() const;
    long long lines() const { return lines_; }
    // Whether the lines kept reached maxLines, and the time of the file's
    // buffers up to the last line kept, in seconds from its start.
    bool full() const { return full_; }
    double secondsKept() const;
    // After finish(): the seconds of the lines kept, and of those listed as
    // doubtful and as without tone.
    double seconds() const;
    double doubtfulSeconds() const { return marks_.secondsOf(marks_.doubtful()); }
    double withoutToneSeconds() const { return marks_.secondsOf(marks_.withoutTone()); }
    // Why the output failed, empty while it has not.
    const std::string& failure() const { return failure_; }

private:
    struct Entry {
        double value = 0.0;
        double prominence = 0.0;
        int sign = 1;
        long long index = 0;
        ToneQuality quality = ToneQuality::withoutTone;
        bool tone() const { return quality != ToneQuality::withoutTone; }
        std::array<double, HighRateDemodulator::valuesPerBuffer> tenValues{};
        bool hasLine = false;
    };
    // Buffers held back in order: in memory, and beyond a few minutes in
    // the output's hold-back file. Each call says why it failed, or nothing.
    class Held {
    public:
        explicit Held(records::DecodedOutput& out) : out_(out) {}
        std::string push(const Entry& entry);
        // Hands every entry to `f`, oldest first, and forgets them.
        template <typename F>
        std::string drain(F f);
        std::size_t size() const { return memory_.size() + spilled_; }
        std::string clear();

    private:
        records::DecodedOutput& out_;
        std::vector<Entry> memory_;
        std::unique_ptr<records::HoldBackFile> spill_;
        std::size_t spilled_ = 0;
    };

    // Keeps a buffer: it is written when the next one is kept.
    void emit(const Entry& entry);
    void write(const Entry& entry);
    // Keeps every buffer held back (but the first, at the start).
    void release(bool withoutFirst);
    void hold(const Entry& entry);
    void forgetHeld();

    records::DecodedOutput& out_;
    records::RecordingFacts facts_;
    long long maxLines_;
    bool started_ = false;
    bool full_ = false;
    long long lines_ = 0;
    long long toneBuffers_ = 0;
    long long lastIndex_ = -1;
    // The stretches without tone and with doubtful tone among the lines
    // written.
    ToneMarks marks_;
    // Consecutive tone at the end of what is held.
    long long toneRun_ = 0;
    Held held_{out_};
    std::optional<Entry> delayed_;
    std::string failure_;
};

}  // namespace acquisition
