#include "ToneDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "BufferAnalysis.h"
#include "SpectrumAnalyzer.h"
#include "ToneJudge.h"
#include "ToneStretches.h"
#include "ValueEstimate.h"
#include "platform/AudioFile.h"
#include "platform/RegularFile.h"
#include "records/RecordTime.h"
#include "records/RecordingFacts.h"

namespace acquisition {

namespace {

// A file's channels are compared over its first half minute.
constexpr double channelChoiceSeconds = 30.0;
// Fewer seconds of tone than this make no ECG.
constexpr double minimumToneSeconds = 5.0;
// Buffers between two progress reports.
constexpr int progressEvery = 64;

constexpr const char* stoppedText = "the decoding was stopped";

bool cancelled(const DecodeRequest& request) {
    return request.cancel != nullptr && request.cancel->load();
}

// The channel (from 0) whose buffers hold the front end's tone most often
// over the file's first half minute, read by a second reader of `opened`.
int channelWithMostTone(const DecodeRequest& request, const platform::AudioFile& opened) {
    std::string reason;
    const std::unique_ptr<platform::AudioFile> file = opened.again(reason);
    const int channels = opened.info().channels;
    if (!file || !file->deliver(-1, request.sampleRate).empty()) {
        return 0;
    }
    const auto n = static_cast<std::size_t>(request.samplesPerBuffer);
    const auto c = static_cast<std::size_t>(channels);
    std::vector<std::int16_t> interleaved(n * c);
    std::vector<std::int16_t> one(n);
    std::vector<std::unique_ptr<SpectrumAnalyzer>> spectra;
    std::vector<long long> tone(c, 0);
    for (std::size_t k = 0; k < c; ++k) {
        spectra.push_back(
            std::make_unique<SpectrumAnalyzer>(request.fftPoints, request.sampleRate));
    }
    const double buffers = channelChoiceSeconds * request.sampleRate / request.samplesPerBuffer;
    for (double b = 0; b < buffers && !cancelled(request) && file->read(interleaved.data(), n) == n;
         ++b) {
        for (std::size_t k = 0; k < c; ++k) {
            for (std::size_t i = 0; i < n; ++i) {
                one[i] = interleaved[i * c + k];
            }
            SampleCursor cursor(one.data(), request.samplesPerBuffer);
            spectra[k]->loadBlock(cursor);
            spectra[k]->transform();
            tone[k] +=
                ToneJudge::heard(readPeak(*spectra[k]), request.sampleRate, request.fftPoints);
        }
    }
    return static_cast<int>(std::max_element(tone.begin(), tone.end()) - tone.begin());
}

// How long the file lasts, WAV files joined after it included; negative
// when it does not say.
double fileSeconds(const platform::AudioFile::Info& info) {
    return info.durationSeconds < 0.0 ? info.durationSeconds
                                      : info.durationSeconds + info.joinedSeconds;
}

// When the file says it was recorded, or its modification time less its
// duration; whether a tag said it.
std::pair<double, bool> recordingStart(const DecodeRequest& request,
                                       const platform::AudioFile::Info& info) {
    for (const auto& [name, text] : info.timeTags) {
        if (const std::optional<double> at = records::recordedAtFromTag(text, request.now)) {
            return {*at, true};
        }
    }
    const double end = info.modifiedSeconds >= 0.0 ? info.modifiedSeconds : request.now;
    return {end - std::max(fileSeconds(info), 0.0), false};
}

records::RecordingFacts factsFor(const DecodeRequest& request,
                                 const platform::AudioFile::Info& info) {
    records::RecordingFacts facts;
    const auto [start, measured] = recordingStart(request, info);
    facts.startSeconds = start;
    facts.startMeasured = measured;
    facts.sampleRate = request.sampleRate;
    facts.samplesPerBuffer = request.samplesPerBuffer;
    facts.fftPoints = request.fftPoints;
    facts.bits = 16;
    facts.valuesPerSecond = static_cast<double>(request.sampleRate) / request.samplesPerBuffer;
    facts.zeroValue = records::zeroValueAt(request.sampleRate, request.fftPoints);
    facts.valuesPerMillivolt = records::valuesPerMillivoltAt(request.sampleRate, request.fftPoints);
    facts.source = "file " + std::filesystem::path(request.tonePath).filename().string();
    return facts;
}

DecodeResult failed(DecodeResult::Status status, std::string message) {
    DecodeResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

// What a WAV file holds after the sound its header announces, which was
// not read, in words; empty when nothing worth a word.
std::string unreadText(const platform::AudioFile::Info& info) {
    if (info.unreadSeconds < 0.5) {
        return {};
    }
    return std::string(info.joinedAfter ? "another WAV file joined after its sound"
                                        : "sound its header does not count") +
           " was not read: about " + durationText(info.unreadSeconds) + " after the " +
           durationText(info.durationSeconds) + " the header announces";
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, seconds < 0.95 ? "%.2f s" : "%.1f s", seconds);
    return text;
}

// Sound missing inside the file, kept as time without tone, in words;
// empty when none.
std::string missingText(const platform::AudioFile::MissingSound& missing) {
    std::string text;
    if (missing.stretches == 1) {
        text = secondsText(missing.seconds) + " of sound missing from the file at " +
               durationText(missing.firstAt) + " is kept as time without tone";
    } else if (missing.stretches > 1) {
        text = std::to_string(missing.stretches) + " stretches of sound missing from the file (" +
               secondsText(missing.seconds) + " in all, the first at " +
               durationText(missing.firstAt) + ") are kept as time without tone";
    }
    if (missing.jumpsNotKept > 0) {
        text +=
            std::string(text.empty() ? "" : "; ") + "its clock jumps ahead " +
            (missing.jumpsNotKept == 1 ? "once" : std::to_string(missing.jumpsNotKept) + " times") +
            " by more than sound it could lack (up to " + durationText(missing.largestJumpNotKept) +
            "), not kept as time";
    }
    return text;
}

void addNotes(const platform::AudioFile& file, double headerSeconds, bool readToTheEnd,
              DecodeResult& result) {
    if (file.damagedFrames() > 0) {
        const int damaged = file.damagedFrames();
        result.notes.push_back(
            damaged == 1
                ? "a damaged frame was skipped at " + durationText(file.firstDamageSeconds())
                : std::to_string(damaged) + " damaged frames were skipped, the first at " +
                      durationText(file.firstDamageSeconds()));
    }
    const std::string missing = missingText(file.missingSound());
    if (!missing.empty()) {
        result.notes.push_back(missing);
    }
    if (file.joinedFilesRead() > 0) {
        const int joined = file.joinedFilesRead();
        result.notes.push_back(
            (joined == 1
                 ? "another WAV file joined at " + durationText(file.firstJoinSeconds()) + " was"
                 : std::to_string(joined) + " more WAV files joined, the first at " +
                       durationText(file.firstJoinSeconds()) + ", were") +
            " read on: the time between recordings joined so is not known");
    }
    const std::string unread = unreadText(file.info());
    if (!unread.empty()) {
        result.notes.push_back(unread);
    }
    if (!file.endedEarly().empty()) {
        result.notes.push_back("reading stopped at " + durationText(file.secondsRead()) + ": " +
                               file.endedEarly());
    } else if (readToTheEnd && headerSeconds > 0.0 && file.secondsRead() + 1.0 < headerSeconds) {
        std::string text = "the file ends at " + durationText(file.secondsRead()) + " of the " +
                           durationText(headerSeconds) + " its header announces";
        if (file.damagedFrames() > 0) {
            // A form without timestamps (MP3, a bare AAC stream) cannot say
            // how much sound its damage took.
            text += "; if sound was lost with the damaged frames at " +
                    durationText(file.firstDamageSeconds()) + ", what follows them stands up to " +
                    durationText(headerSeconds - file.secondsRead()) + " early";
        }
        result.notes.push_back(text);
    }
}

}  // namespace

std::string durationText(double seconds) {
    const long long total = std::llround(std::max(seconds, 0.0));
    char text[48];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

DecodeResult decodeToneFile(const DecodeRequest& request, records::DecodedOutput& out) {
    const std::string notAudio = request.tonePath + " is not an audio file this program can read: ";
    std::string reason;
    // A pipe or a device may never end, and opening a pipe waits for a
    // writer: only a regular file is read.
    if (platform::isNotRegular(request.tonePath)) {
        return failed(DecodeResult::Status::NotAudio,
                      notAudio + "it is not a regular file (a device, a pipe or a folder)");
    }
    const std::unique_ptr<platform::AudioFile> file =
        platform::AudioFile::open(request.tonePath, reason, request.cancel);
    if (cancelled(request)) {
        return failed(DecodeResult::Status::Cancelled, stoppedText);
    }
    if (!file) {
        return failed(DecodeResult::Status::NotAudio, notAudio + reason);
    }
    const platform::AudioFile::Info& info = file->info();
    if (info.sampleRate < 8000) {
        return failed(DecodeResult::Status::NotAudio,
                      notAudio + "its sample rate of " + std::to_string(info.sampleRate) +
                          " Hz is below 8000 Hz, too low for the tone");
    }
    if (request.channel >= info.channels) {
        return failed(DecodeResult::Status::Failed,
                      request.tonePath + " has " + std::to_string(info.channels) +
                          (info.channels == 1 ? " channel" : " channels") + ", not " +
                          std::to_string(request.channel + 1));
    }
    const int channel = request.channel >= 0 ? request.channel
                        : info.channels > 1  ? channelWithMostTone(request, *file)
                                             : 0;
    reason = file->deliver(channel, request.sampleRate);
    if (!reason.empty()) {
        return failed(DecodeResult::Status::NotAudio, notAudio + reason);
    }
    BufferAnalysis analysis(request.sampleRate, request.samplesPerBuffer, request.fftPoints);
    ToneStretches stretches(out, factsFor(request, info), request.maxLines);
    std::vector<std::int16_t> block(static_cast<std::size_t>(request.samplesPerBuffer));
    int sign = 1;
    bool end = false;
    for (long long buffers = 0;; ++buffers) {
        if (cancelled(request)) {
            return failed(DecodeResult::Status::Cancelled, stoppedText);
        }
        if (request.progress && buffers % progressEvery == 0) {
            request.progress(file->secondsRead(), fileSeconds(info));
        }
        // A last buffer the file does not fill is left, as a live
        // recording leaves one the sound card did not complete.
        if (file->read(block.data(), block.size()) < block.size()) {
            end = true;
            break;
        }
        analysis.push(SampleCursor(block.data(), request.samplesPerBuffer), sign, stretches);
        sign = -sign;
        if (stretches.full() || !stretches.failure().empty()) {
            break;
        }
    }
    // A stop while the file was read ends the reading early: nothing of it
    // is kept.
    if (cancelled(request)) {
        return failed(DecodeResult::Status::Cancelled, stoppedText);
    }
    if (end && file->secondsRead() == 0.0) {
        return failed(
            DecodeResult::Status::NotAudio,
            notAudio + (file->endedEarly().empty() ? "it holds no sound" : file->endedEarly()));
    }
    if (end) {
        analysis.finish(stretches);
    }
    if (!stretches.failure().empty()) {
        return failed(DecodeResult::Status::Failed, stretches.failure());
    }
    if (!stretches.found() || stretches.toneSeconds() < minimumToneSeconds) {
        const std::string unread = unreadText(info);
        return failed(DecodeResult::Status::NoTone,
                      "No ECG tone was found in " + request.tonePath +
                          (unread.empty() ? "" : " (" + unread + ")"));
    }
    DecodeResult result;
    result.full = stretches.full();
    addNotes(*file, info.announcedSeconds > 0.0 ? info.announcedSeconds : info.durationSeconds, end,
             result);
    if (result.full) {
        result.secondsNotKept = info.durationSeconds >= 0.0
                                    ? std::max(fileSeconds(info) - stretches.secondsKept(), 0.0)
                                    : -1.0;
    }
    result.message = stretches.finish();
    result.lines = stretches.lines();
    result.toneSeconds = stretches.toneSeconds();
    result.seconds = stretches.seconds();
    result.doubtfulSeconds = stretches.doubtfulSeconds();
    result.withoutToneSeconds = stretches.withoutToneSeconds();
    result.status =
        result.message.empty() ? DecodeResult::Status::Written : DecodeResult::Status::Failed;
    if (request.progress) {
        request.progress(file->secondsRead(), fileSeconds(info));
    }
    return result;
}

std::string summaryText(const DecodeResult& result) {
    const auto whole = [](double seconds) { return std::to_string(std::llround(seconds)) + " s"; };
    return whole(result.seconds) + " of ECG, " + whole(result.doubtfulSeconds) + " doubtful, " +
           whole(result.withoutToneSeconds) + " without tone";
}

}  // namespace acquisition
