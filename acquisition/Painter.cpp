#include "Painter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <utility>

#include <unistd.h>

#include "RecorderM16.h"
#include "RecorderM8.h"
#include "SampleCursor.h"
#include "ScopedLock.h"
#include "ValueEstimate.h"
#include "WorkerHold.h"
#include "platform/Application.h"
#include "platform/ReplacementFile.h"
#include "platform/WinException.h"
#include "records/Companion.h"
#include "records/ProgramFiles.h"
#include "records/RecordEncoding.h"
#include "records/RecordFormat.h"
#include "records/SampleFile.h"
#include "render/EcgPane.h"
#include "render/PaperPrinter.h"
#include "render/TraceMapping.h"
#include "resources/DialogTemplates.h"

namespace acquisition {

using records::RecordBuffer;
using records::SampleFile;
using render::EcgPane;

namespace {

constexpr int maxFilledPanes = 5;

std::unique_ptr<Recorder> makeRecorder(platform::WaveInput& input, int bitsPerSample,
                                       int samplesPerBuffer, int sampleRate) {
    if (bitsPerSample == 8) {
        return std::make_unique<RecorderM8>(input, samplesPerBuffer, sampleRate);
    }
    return std::make_unique<RecorderM16>(input, samplesPerBuffer, sampleRate);
}

}  // namespace

Painter::Painter(platform::WaveInput& input, CommandTarget* window, const PaneList& panes,
                 int samplesPerBuffer, int sampleRate, int fftPoints)
    : input_(input),
      samplesPerBuffer_(samplesPerBuffer),
      sampleRate_(sampleRate),
      fftPoints_(fftPoints),
      window_(window),
      recorder_(std::make_unique<RecorderM16>(input, samplesPerBuffer, sampleRate)),
      analysis_(std::make_unique<BufferAnalysis>(sampleRate, samplesPerBuffer, fftPoints)),
      panes_(panes) {
    forEachPane([](EcgPane& pane) {
        pane.setFactors(render::factors::defaultSpeed, render::factors::defaultGain);
    });
}

Painter::~Painter() {
    // The worker must be over before the recorder, the analyser and the event
    // it uses are destroyed.
    endThread();
    panes_.fill(nullptr);
}

void Painter::forEachPane(const std::function<void(EcgPane&)>& action) const {
    for (EcgPane* pane : panes_) {
        if (pane == nullptr || !pane->hasWindow()) {
            return;
        }
        action(*pane);
    }
}

void Painter::wakeThread() {
    bufferEvent_.set();
    { std::lock_guard guard(stopMutex_); }
    stopDone_.notify_all();
}

void Painter::threadMain() {
    int sign = -1;
    for (;;) {
        bufferEvent_.wait();
        long long generation = 0;
        {
            std::lock_guard guard(stopMutex_);
            generation = stopGeneration_;
        }
        // The generation is read before the test, so a stop that happens in
        // between releases the wait below at once.
        if (filledPanes_.load() > maxFilledPanes) {
            requestAutomaticStop(generation);
        }
        if (stopRequested()) {
            return;
        }
        // Every buffer the device has completed is processed, not only one:
        // a wake-up that finds several done would otherwise leave the worker
        // behind for good, and a device with no queued buffer drops signal.
        for (;;) {
            {
                const ScopedLock guard(lock_);
                if (!recorder_ || !analysis_ || !recorder_->isRecording() ||
                    filledPanes_.load() > maxFilledPanes || writeFailed_.load() ||
                    deviceFailed_.load()) {
                    break;
                }
                // Asked before waiting for the buffer: a device that is gone
                // completes none, not even the ones queued after it went.
                if (recorder_->deviceFailed() && !recorder_->currentBufferComplete()) {
                    // The device is gone: the buffers it filled are all
                    // stored, the ones it handed back unfilled are not, and
                    // no more will come.
                    noteDeviceFailure(recorder_->deviceFailure());
                    break;
                }
                if (!recorder_->currentBufferDone()) {
                    break;
                }
                sign = -sign;
                processBuffer(sign);
            }
            WorkerHold::afterBuffer(processedBuffers_.load());
        }
        // A failure stops the recording now: with a device gone no further
        // buffer would wake the worker.
        if (writeFailed_.load() || deviceFailed_.load()) {
            requestAutomaticStop(generation);
        }
    }
}

void Painter::requestAutomaticStop(long long generation) {
    if (window_ == nullptr) {
        stopCapture();
        return;
    }
    window_->postCommand(resources::ids::startStop, 0, automaticStop);
    std::unique_lock guard(stopMutex_);
    stopDone_.wait(guard, [&] { return stopGeneration_ != generation || stopRequested(); });
}

void Painter::processBuffer(int sign) {
    const char* const data = recorder_->currentBufferData();
    const int samples = recorder_->samplesPerBuffer();
    const SampleCursor cursor(data, *recorder_, samples);
    const SoundLost lost = droppedBytes_.add(recorder_->bytesDroppedBeforeCurrent());
    recorder_->recycleCurrent();
    if (lost.any) {
        soundLost_.store(true);
    }
    processedBuffers_.fetch_add(1, std::memory_order_relaxed);
    if (buffersThisRecording_++ == 0) {
        // The first buffer's first sample was taken one buffer ago.
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        facts_.startSeconds = now - static_cast<double>(samples) / sampleRate_;
    }
    noteTone(analysis_->push(cursor, sign, *this, lost).quality);
}

bool Painter::take(const AnalysedBuffer& buffer) {
    noteLostBuffers(buffer.lostBefore);
    noteDoubt(buffer.quality);
    const std::span<const double> tenValues = buffer.tenValues;
    if (currentPane_ < 0 || currentPane_ >= livePanes || panes_[currentPane_] == nullptr) {
        currentPane_ = 0;
    }
    EcgPane& pane = *panes_[static_cast<std::size_t>(currentPane_)];
    if (pane.penX() < pane.clientRect().right) {
        int error = filesOpen_ ? 0 : openRecordingFiles();
        const double fromX = pane.penX();
        const bool drawn = error == 0 && pane.drawValue(buffer.value, tenValues);
        if (drawn) {
            // The companion line first: a program killed between the two
            // leaves the companion one line ahead, which the next start cuts.
            error = tenValues.empty() ? 0 : companion_.append(tenValues);
            if (error == 0) {
                error = appendValue(buffer);
                if (error != 0 && !tenValues.empty()) {
                    companion_.takeBackLast();
                }
            }
            if (error == 0) {
                if (!linePlaces_.empty()) {
                    linePlaces_[static_cast<std::size_t>(storedLines_) % linePlaces_.size()] = {
                        currentPane_, fromX, pane.penX()};
                }
                storedLines_ += 1;
                toneMarks_.take(buffer.quality, this);
            }
        } else if (error == 0) {
            // A pane's first value starts its trace and is not stored.
            noteSkippedBuffer();
        }
        if (error != 0) {
            // The disk refused the value: nothing more is processed, and the
            // next wake-up asks the window to stop, as a full recording does.
            writeError_.store(error);
            writeFailed_.store(true);
            return false;
        }
    } else {
        noteSkippedBuffer();
        currentPane_ += 1;
        filledPanes_.fetch_add(1);
    }
    wrapIfLastPaneFull(pane);
    return true;
}

int Painter::openRecordingFiles() {
    filesOpen_ = true;
    // The recording's first value empties the working file and its
    // companion (a recording without one leaves none of another).
    SampleFile::openWrite(SampleFile::fileName());
    const std::string record = SampleFile::fileName();
    int error = 0;
    if (analysis_->hasCompanion()) {
        error = companion_.open(records::companionPath(record), record);
    } else {
        records::removeCompanion(record);
    }
    if (error != 0) {
        return error;
    }
    // Written as soon as the files are there, not synced: a recording the
    // program does not live to stop still says when and how it was made.
    // Replaced as every file is, so that a link or a pipe in its place is
    // never written through.
    const std::string path = records::factsPath(record);
    platform::ReplacementFile facts(path, records::ProgramFiles::partName(path), {record});
    facts.skipSync();
    facts.write(records::formatFacts(facts_));
    return facts.commit().empty() ? 0 : facts.errorNumber();
}

void Painter::prepareFacts() {
    // A recording stops itself after a few panes; even at the shortest
    // buffers it skips a few dozen at the changes of pane. The rest is room
    // for buffers the sound input lost while the computer was too busy:
    // minutes of them. Reserved here, never grown per buffer.
    constexpr std::size_t listCapacity = 16384;
    records::RecordingFacts facts;
    facts.startMeasured = true;
    facts.sampleRate = sampleRate_;
    facts.samplesPerBuffer = samplesPerBuffer_;
    facts.fftPoints = fftPoints_;
    facts.bits = bitsPerSample_;
    facts.valuesPerSecond = static_cast<double>(sampleRate_) / samplesPerBuffer_;
    facts.zeroValue = records::zeroValueAt(sampleRate_, fftPoints_);
    facts.valuesPerMillivolt = records::valuesPerMillivoltAt(sampleRate_, fftPoints_);
    const std::string device = input_.describe(0);
    facts.source = device.empty() ? "sound input" : device;
    facts.skippedAfterLines.reserve(listCapacity);
    facts.droppedAfterLines.reserve(listCapacity);
    toneMarks_ = ToneMarks(facts.valuesPerSecond);
    toneMarks_.reserve(listCapacity);
    linePlaces_.assign(static_cast<std::size_t>(toneMarks_.linesUndecided()) + 1, LinePlace{});
    facts_ = std::move(facts);
    filesOpen_ = false;
    factsInvalid_ = false;
    storedLines_ = 0;
    buffersThisRecording_ = 0;
}

void Painter::noteSkippedBuffer() {
    noteLine(facts_.skippedAfterLines);
}

void Painter::noteLostBuffers(long long count) {
    for (long long i = 0; i < count && !factsInvalid_; ++i) {
        noteLine(facts_.skippedAfterLines);
        noteLine(facts_.droppedAfterLines);
    }
}

void Painter::noteLine(std::vector<long long>& list) {
    // The lists were reserved for longer than any recording; should one
    // ever fill, the recording's facts no longer place every line.
    if (list.size() < list.capacity()) {
        list.push_back(storedLines_);
    } else {
        factsInvalid_ = true;
    }
}

void Painter::completeFacts() {
    if (!filesOpen_) {
        return;
    }
    filesOpen_ = false;
    const std::string record = SampleFile::fileName();
    const std::string path = records::factsPath(record);
    if (factsInvalid_) {
        // Read as a record without facts, by inference, rather than wrongly.
        ::unlink(path.c_str());
        return;
    }
    facts_.linesWithoutTone = toneMarks_.withoutTone();
    facts_.linesWithDoubtfulTone = toneMarks_.doubtful();
    facts_.record = records::identifyFile(record);
    facts_.companion = analysis_ && analysis_->hasCompanion()
                           ? records::identifyFile(records::companionPath(record))
                           : std::nullopt;
    if (!facts_.record) {
        return;
    }
    platform::ReplacementFile file(path, records::ProgramFiles::partName(path), {record});
    file.write(records::formatFacts(facts_));
    // A recording whose facts cannot be completed is read as a killed one.
    static_cast<void>(file.commit());
}

int Painter::appendValue(const AnalysedBuffer& buffer) {
    char text[records::valueTextSize];
    const std::size_t length = records::formatValue(
        buffer.sign * records::captureMarker + buffer.value, records::LineEnd::BlankNewline, text);
    return SampleFile::appendText({text, length});
}

void Painter::marked(ToneQuality kind, long long first, long long count) {
    const platform::Rgb colour = kind == ToneQuality::withoutTone
                                     ? render::PaperPrinter::withoutToneColour
                                     : render::PaperPrinter::doubtfulToneColour;
    const auto kept = static_cast<long long>(linePlaces_.size());
    if (kept == 0) {
        return;
    }
    // The lines' places joined where they meet on a pane: one bar each.
    LinePlace bar{-1, 0.0, 0.0};
    const auto draw = [&] {
        if (bar.pane >= 0 && bar.pane < livePanes && panes_[bar.pane] != nullptr) {
            panes_[bar.pane]->drawMark(bar.fromX, bar.toX, colour);
        }
    };
    for (long long line = std::max(first, storedLines_ - kept); line < first + count; ++line) {
        const LinePlace& place = linePlaces_[static_cast<std::size_t>(line % kept)];
        if (place.pane == bar.pane && place.fromX >= bar.fromX && place.fromX <= bar.toX) {
            bar.toX = std::max(bar.toX, place.toX);
            continue;
        }
        draw();
        bar = place;
    }
    draw();
}

void Painter::wrapIfLastPaneFull(const EcgPane& pane) {
    EcgPane* last = panes_[livePanes - 1];
    const bool lastFull =
        currentPane_ == livePanes - 1 && last != nullptr && last->penX() >= pane.clientRect().right;
    if (lastFull || currentPane_ >= livePanes) {
        forEachPane([](EcgPane& p) { p.setPenX(0.0); });
        currentPane_ = 0;
    }
}

CaptureOutcome Painter::startCapture() {
    drawGrid(0);
    forEachPane([](EcgPane& pane) { pane.resetTrace(); });
    const ScopedLock guard(lock_);
    writeError_.store(0);
    soundLost_.store(false);
    prepareFacts();
    if (analysis_) {
        analysis_->reset();
    }
    {
        std::lock_guard failure(failureMutex_);
        deviceFailure_.clear();
    }
    // After a failed rebuild one of the two may be missing: a capture that
    // could store nothing is not started (the rebuild has said why).
    if (!recorder_ || !analysis_) {
        return {CaptureOutcome::Status::Failed, {}};
    }
    droppedBytes_.reset(recorder_->bytesPerBuffer());
    const CaptureOutcome outcome = recorder_->start(bufferEvent_);
    // A recording starts with a second's grace before the tone is missed,
    // from when the device runs: opening one may take longer than that.
    lastTone_.store(Clock::now().time_since_epoch().count());
    doubtSince_.store(0);
    return outcome;
}

void Painter::stopCapture() {
    {
        const ScopedLock guard(lock_);
        if (recorder_) {
            recorder_->stop();
        }
        // The last buffers processed are drawn and stored too.
        if (analysis_ && !writeFailed_.load()) {
            analysis_->finish(*this);
        }
        // A stretch still open ends with the recording, under the trace too.
        toneMarks_.finish(this);
        companion_.close();
        SampleFile::close();
        completeFacts();
        currentPane_ = 0;
        filledPanes_.store(0);
        writeFailed_.store(false);
        deviceFailed_.store(false);
        forEachPane([](EcgPane& pane) { pane.resetTrace(); });
    }
    {
        std::lock_guard guard(stopMutex_);
        ++stopGeneration_;
    }
    stopDone_.notify_all();
}

void Painter::rebuild() {
    analysis_.reset();
    analysis_ = std::make_unique<BufferAnalysis>(sampleRate_, samplesPerBuffer_, fftPoints_);
    recorder_.reset();
    recorder_ = makeRecorder(input_, bitsPerSample_, samplesPerBuffer_, sampleRate_);
}

CaptureOutcome Painter::configure(int samplesPerBuffer, int sampleRate, int fftPoints,
                                  int bitsPerSample, double speedFactor, double gainFactor) {
    const ScopedLock guard(lock_);
    speedFactor_ = speedFactor;
    gainFactor_ = gainFactor;
    forEachPane([&](EcgPane& pane) { pane.setFactors(speedFactor_, gainFactor_); });

    if (recorder_ && analysis_ && recorder_->bitsPerSample() == bitsPerSample &&
        recorder_->sampleRate() == sampleRate &&
        recorder_->samplesPerBuffer() == samplesPerBuffer && analysis_->fftPoints() == fftPoints) {
        return {};
    }
    samplesPerBuffer_ = samplesPerBuffer;
    sampleRate_ = sampleRate;
    fftPoints_ = fftPoints;
    bitsPerSample_ = bitsPerSample;

    const bool wasRecording = recorder_ && recorder_->isRecording();
    if (wasRecording) {
        recorder_->stop();
        // The recording goes on at the new settings; the values held under
        // the old ones are stored first. Its facts named the old ones.
        if (!writeFailed_.load()) {
            analysis_->finish(*this);
        }
        factsInvalid_ = true;
    }
    try {
        rebuild();
    } catch (const platform::WinException& e) {
        return {CaptureOutcome::Status::Failed, e.text()};
    } catch (...) {
        return {CaptureOutcome::Status::Failed, "Unknown"};
    }
    if (!wasRecording) {
        return {};
    }
    droppedBytes_.reset(recorder_->bytesPerBuffer());
    return recorder_->start(bufferEvent_);
}

void Painter::setSpeedFactor(double x) {
    speedFactor_ = x;
}

void Painter::setGainFactor(double x) {
    gainFactor_ = x;
}

int Painter::binForFrequency(int frequency) const {
    const ScopedLock guard(lock_);
    return analysis_ ? analysis_->spectrum().binForFrequency(frequency) : 0;
}

int Painter::fftPoints() const {
    const ScopedLock guard(lock_);
    return analysis_ ? analysis_->fftPoints() : 0;
}

void Painter::drawGrid(int firstPane) {
    forEachPane([](EcgPane& pane) { pane.clear(); });
    for (int i = std::max(firstPane, 0); i < paneCount && i < firstPane + livePanes; ++i) {
        EcgPane* pane = panes_[static_cast<std::size_t>(i)];
        if (pane == nullptr) {
            break;
        }
        pane->drawPaper();
    }
}

int Painter::samplesPerPane(int pane) const {
    const EcgPane* first = panes_[0];
    if (pane < 0 || pane >= paneCount || first == nullptr || panes_[pane] == nullptr) {
        return 0;
    }
    const double speed = first->speedFactor();
    if (!(speed > 0.0)) {
        return 0;
    }
    return static_cast<int>((panes_[pane]->clientRect().right - 1) / speed);
}

Painter::LoadedRecording Painter::loadWorkingRecording() {
    EcgPane* first = panes_[0];
    SampleFile::openRead(SampleFile::workingFileName);
    first->record().load(SampleFile{});
    const int m = first->record().count;
    const records::Encoding encoding = records::decodeRecord(
        std::span<double>(first->record().samples.data(), static_cast<std::size_t>(m)));
    return {m, encoding};
}

Painter::ShownStretch Painter::readShownStretch(int firstPane) const {
    ShownStretch shown;
    const int n = samplesPerPane(firstPane);
    if (n <= 0) {
        return shown;
    }
    // Taken before the working file's lock, as printSettings does.
    const records::Inference settings = inference();
    records::StoredRecording recording;
    const std::string path = SampleFile::workingFileName;
    {
        const SampleFile::Session session;
        SampleFile::close();
        if (!records::readRecording(path, settings, recording, false).empty()) {
            return shown;
        }
        shown.firstLine = static_cast<long long>(firstPane) * n;
        const long long lines =
            std::min<long long>(static_cast<long long>(livePanes) * n,
                                std::min<long long>(static_cast<long long>(recording.values.size()),
                                                    RecordBuffer::capacity) -
                                    shown.firstLine);
        // Only the lines the panes show are read, and only of a companion
        // that belongs to the recording; without one the values are drawn.
        if (lines > 0 && records::companionBelongs(path, recording)) {
            shown.companion = records::readCompanionLines(records::companionPath(path),
                                                          static_cast<std::size_t>(shown.firstLine),
                                                          static_cast<std::size_t>(lines));
        }
    }
    shown.withoutTone = std::move(recording.facts.linesWithoutTone);
    shown.doubtful = std::move(recording.facts.linesWithDoubtfulTone);
    return shown;
}

void Painter::drawMarks(EcgPane& pane, long long firstLine, int n,
                        const std::vector<std::pair<long long, long long>>& stretches,
                        platform::Rgb colour) const {
    const double speed = pane.speedFactor();
    for (const auto& [from, count] : stretches) {
        const long long begins = std::max(from, firstLine);
        const long long ends = std::min(from + count, firstLine + n);
        if (begins < ends) {
            pane.drawMark(static_cast<double>(begins - firstLine) * speed,
                          static_cast<double>(ends - firstLine) * speed, colour);
        }
    }
}

void Painter::drawRecord(int firstPane, const std::array<double, RecordBuffer::capacity>& values,
                         int count, bool freshPaper, const ShownStretch& shown) {
    const int n = samplesPerPane(firstPane);
    const std::size_t perValue = records::companionValuesPerLine;
    for (int j = firstPane; j < paneCount && j < firstPane + livePanes; ++j) {
        EcgPane* pane = panes_[static_cast<std::size_t>(j)];
        if (pane == nullptr) {
            break;
        }
        if (freshPaper) {
            pane->clear();
            pane->drawPaper();
        }
        const long long offset = static_cast<long long>(j) * n;
        if (count > 0 && n > 0 && offset < count) {
            drawMarks(*pane, offset, n, shown.withoutTone, render::PaperPrinter::withoutToneColour);
            drawMarks(*pane, offset, n, shown.doubtful, render::PaperPrinter::doubtfulToneColour);
            // The trace ends where the recording ends: a flat line drawn on
            // past it would read as a heart that stopped.
            const auto recorded =
                std::span<const double>(values).first(static_cast<std::size_t>(count));
            const int drawn = static_cast<int>(std::min<long long>(n, count - offset));
            const auto line = static_cast<std::size_t>(offset - shown.firstLine);
            if (offset >= shown.firstLine &&
                (line + static_cast<std::size_t>(drawn)) * perValue <= shown.companion.size()) {
                pane->drawCompanionStretch(
                    std::span<const double>(shown.companion).subspan(line * perValue), drawn);
            } else {
                pane->drawStretch(recorded.subspan(static_cast<std::size_t>(offset)), drawn,
                                  nullptr);
            }
        }
    }
}

void Painter::showRecording(int firstPane) {
    if (firstPane < 0 || firstPane >= paneCount || panes_[0] == nullptr) {
        return;
    }
    const ShownStretch shown = readShownStretch(firstPane);
    const int m = loadWorkingRecording().count;
    drawRecord(firstPane, panes_[0]->record().samples, m, true, shown);
    for (int j = firstPane; j < paneCount; ++j) {
        EcgPane* pane = panes_[static_cast<std::size_t>(j)];
        if (pane == nullptr) {
            break;
        }
        pane->showBand();
        pane->setPenX(0.0);
    }
    SampleFile::close();
}

void Painter::showFiltered(int firstPane, const std::vector<double>& filtered) {
    if (firstPane < 0 || firstPane >= paneCount || panes_[0] == nullptr) {
        return;
    }
    RecordBuffer& record = panes_[0]->record();
    const int m = static_cast<int>(std::min<std::size_t>(filtered.size(), RecordBuffer::capacity));
    record.count = m;
    record.filtered.fill(RecordBuffer::fillLevel);
    std::copy_n(filtered.begin(), m, record.filtered.begin());
    // FILTER stored the companion filtered alike, where one belonged: the
    // strips draw what the working recording now holds.
    const ShownStretch shown = readShownStretch(firstPane);
    drawGrid(firstPane);
    drawRecord(firstPane, record.filtered, m, false, shown);
}

records::Inference Painter::inference() const {
    const ScopedLock guard(lock_);
    return {sampleRate_, samplesPerBuffer_, fftPoints_};
}

PrintSettings Painter::printSettings() {
    if (panes_[0] == nullptr) {
        return {};
    }
    records::StoredRecording recording;
    // Taken before the working file's lock: the stop takes this object's
    // lock first and the working file's inside it, so no thread may hold
    // them the other way round.
    const records::Inference settings = inference();
    {
        const SampleFile::Session session;
        SampleFile::close();
        // A record that cannot be read prints as an empty one.
        static_cast<void>(records::readRecording(SampleFile::workingFileName, settings, recording));
    }
    return PrintJob::settingsFor(
        recording, RecordBuffer::capacity, samplesPerPane(0),
        render::TraceMapping::millimetresPerMillivolt(panes_[0]->gainFactor()));
}

bool Painter::isRecording() const {
    const ScopedLock guard(lock_);
    return recorder_ && recorder_->isRecording();
}

int Painter::currentPane() const {
    const ScopedLock guard(lock_);
    return currentPane_;
}

int Painter::filledPanes() const {
    return filledPanes_.load();
}

int Painter::writeError() const {
    return writeError_.load();
}

void Painter::noteDeviceFailure(std::string text) {
    {
        std::lock_guard guard(failureMutex_);
        deviceFailure_ = text.empty() ? "the device reported nothing" : std::move(text);
    }
    deviceFailed_.store(true);
}

std::string Painter::deviceFailure() const {
    std::lock_guard guard(failureMutex_);
    return deviceFailure_;
}

bool Painter::deviceFailed() const {
    return deviceFailed_.load();
}

bool Painter::soundLost() const {
    return soundLost_.load();
}

void Painter::noteTone(ToneQuality quality) {
    if (quality != ToneQuality::withoutTone) {
        toneBuffers_.fetch_add(1, std::memory_order_relaxed);
        lastTone_.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    } else {
        quietBuffers_.fetch_add(1, std::memory_order_relaxed);
    }
}

namespace {

// Half a second of good tone ends a doubtful run, as it ends a doubtful
// stretch in the facts.
constexpr std::chrono::milliseconds goodToneEndsDoubt{500};

}  // namespace

void Painter::noteDoubt(ToneQuality quality) {
    const Clock::rep now = Clock::now().time_since_epoch().count();
    if (quality != ToneQuality::good) {
        if (doubtSince_.load(std::memory_order_relaxed) == 0) {
            doubtSince_.store(now, std::memory_order_relaxed);
        }
        lastDoubt_.store(now, std::memory_order_relaxed);
    } else if (doubtSince_.load(std::memory_order_relaxed) != 0 &&
               Clock::duration(now - lastDoubt_.load(std::memory_order_relaxed)) >=
                   goodToneEndsDoubt) {
        doubtSince_.store(0, std::memory_order_relaxed);
    }
}

double Painter::secondsOfDoubtfulTone() const {
    const Clock::rep since = doubtSince_.load(std::memory_order_relaxed);
    const Clock::time_point now = Clock::now();
    if (since == 0 ||
        now - Clock::time_point(Clock::duration(lastDoubt_.load(std::memory_order_relaxed))) >=
            goodToneEndsDoubt) {
        return 0.0;
    }
    return std::chrono::duration<double>(now - Clock::time_point(Clock::duration(since))).count();
}

double Painter::secondsWithoutTone() const {
    const Clock::duration since = Clock::now().time_since_epoch() -
                                  Clock::duration(lastTone_.load(std::memory_order_relaxed));
    return std::chrono::duration<double>(since).count();
}

long long Painter::toneBuffers() const {
    return toneBuffers_.load();
}

long long Painter::quietBuffers() const {
    return quietBuffers_.load();
}

bool Painter::writeFailed() const {
    return writeFailed_.load();
}

long long Painter::processedBuffers() const {
    return processedBuffers_.load();
}

int Painter::bitsPerSample() const {
    const ScopedLock guard(lock_);
    return bitsPerSample_;
}

}  // namespace acquisition
