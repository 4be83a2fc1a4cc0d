#include "ToneStretches.h"

#include <cmath>

#include "records/FrontEndCalibration.h"

namespace acquisition {

namespace {

// Buffers held in memory before the rest go to a file: a minute and a half
// at the default settings, half a megabyte.
constexpr std::size_t heldInMemory = 4096;

}  // namespace

std::string ToneStretches::Held::clear() {
    memory_.clear();
    spilled_ = 0;
    return spill_ ? spill_->clear() : std::string();
}

std::string ToneStretches::Held::push(const Entry& entry) {
    if (memory_.size() < heldInMemory && spilled_ == 0) {
        memory_.push_back(entry);
        return {};
    }
    std::string why;
    if (!spill_) {
        spill_ = out_.holdBack(why);
        if (!spill_) {
            return why;
        }
    }
    why = spill_->append(&entry, sizeof entry);
    spilled_ += why.empty() ? 1 : 0;
    return why;
}

template <typename F>
std::string ToneStretches::Held::drain(F f) {
    for (const Entry& entry : memory_) {
        f(entry);
    }
    std::string why;
    for (std::size_t i = 0; i < spilled_ && why.empty(); ++i) {
        Entry entry;
        why = spill_->read(&entry, sizeof entry);
        if (why.empty()) {
            f(entry);
        }
    }
    const std::string cleared = clear();
    return why.empty() ? cleared : why;
}

ToneStretches::ToneStretches(records::DecodedOutput& out, records::RecordingFacts facts,
                             long long maxLines)
    : out_(out), facts_(std::move(facts)), maxLines_(maxLines), marks_(facts_.valuesPerSecond) {}

ToneStretches::~ToneStretches() = default;

double ToneStretches::toneSeconds() const {
    return static_cast<double>(toneBuffers_) / facts_.valuesPerSecond;
}

double ToneStretches::secondsKept() const {
    return static_cast<double>(lastIndex_ + 1) / facts_.valuesPerSecond;
}

double ToneStretches::seconds() const {
    return facts_.secondsSpanned(lines_);
}

void ToneStretches::emit(const Entry& entry) {
    if (full_ || !failure_.empty()) {
        return;
    }
    // Each buffer waits for the next: the last before the tone ends is left
    // out with what follows it.
    if (delayed_) {
        write(*delayed_);
    }
    delayed_ = entry;
    full_ = maxLines_ >= 0 && lines_ + 1 >= maxLines_;
}

void ToneStretches::write(const Entry& entry) {
    // A record longer than every reader takes is refused before it is.
    const long long limit = out_.lineLimit();
    if (limit >= 0 && lines_ >= limit) {
        failure_ = out_.beyondLimit();
        return;
    }
    out_.append(
        entry.value, entry.sign,
        entry.hasLine ? std::span<const double>(entry.tenValues) : std::span<const double>());
    ++lines_;
    marks_.take(entry.quality);
    toneBuffers_ += entry.tone() ? 1 : 0;
    lastIndex_ = entry.index;
}

void ToneStretches::release(bool withoutFirst) {
    bool first = true;
    const std::string why = held_.drain([&](const Entry& entry) {
        if (!(first && withoutFirst)) {
            emit(entry);
        }
        first = false;
    });
    if (failure_.empty()) {
        failure_ = why;
    }
    toneRun_ = 0;
}

void ToneStretches::hold(const Entry& entry) {
    const std::string why = held_.push(entry);
    if (failure_.empty()) {
        failure_ = why;
    }
}

void ToneStretches::forgetHeld() {
    const std::string why = held_.clear();
    if (failure_.empty()) {
        failure_ = why;
    }
}

bool ToneStretches::take(const AnalysedBuffer& buffer) {
    if (full_ || !failure_.empty()) {
        return false;
    }
    Entry entry;
    entry.value = buffer.value;
    entry.prominence = buffer.prominence;
    entry.sign = buffer.sign;
    entry.index = buffer.index;
    entry.quality = buffer.quality;
    entry.hasLine = buffer.tenValues.size() == entry.tenValues.size();
    if (entry.hasLine) {
        std::copy(buffer.tenValues.begin(), buffer.tenValues.end(), entry.tenValues.begin());
    }
    // A second of tone without a break begins a stretch of it.
    const auto oneSecond = static_cast<long long>(
        std::ceil(facts_.valuesPerSecond * records::RecordingFacts::shortestWithoutToneSeconds));
    if (!started_) {
        if (!entry.tone()) {
            // Before the tone: left out.
            forgetHeld();
            toneRun_ = 0;
            return failure_.empty();
        }
        hold(entry);
        if (++toneRun_ >= oneSecond) {
            // The recording starts with the second buffer of that second:
            // the first holds the tone's onset, and the demodulator, which
            // reaches into the buffers around it, part of what came before.
            const long long first = buffer.index - toneRun_ + 2;
            facts_.startSeconds += static_cast<double>(first) / facts_.valuesPerSecond;
            failure_ = out_.begin(facts_);
            started_ = true;
            release(true);
        }
        return failure_.empty() && !full_;
    }
    if (held_.size() == 0 && entry.tone()) {
        emit(entry);
        return failure_.empty() && !full_;
    }
    hold(entry);
    toneRun_ = entry.tone() ? toneRun_ + 1 : 0;
    if (toneRun_ >= oneSecond) {
        // The tone is back: what lacked it lies inside and is kept (the
        // marks list it as they take its lines).
        release(false);
    }
    return failure_.empty() && !full_;
}

std::string ToneStretches::finish() {
    // What was held lacked the tone to its end: left out, with the buffer
    // before it, where the tone ended.
    if (delayed_ && (held_.size() == 0 || full_) && failure_.empty()) {
        write(*delayed_);
    }
    delayed_.reset();
    forgetHeld();
    if (!failure_.empty()) {
        return failure_;
    }
    marks_.finish();
    facts_.linesWithoutTone = marks_.withoutTone();
    facts_.linesWithDoubtfulTone = marks_.doubtful();
    // Lines kept to a limit may end inside a stretch without tone.
    facts_.limitTo(lines_);
    return out_.finish(facts_);
}

}  // namespace acquisition
