#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "CaptureDefaults.h"
#include "records/DecodedOutput.h"

namespace acquisition {

// What to decode, and how.
struct DecodeRequest {
    std::string tonePath;
    // The channel to read, from 0; -1: the one with the most tone over the
    // file's first 30 seconds.
    int channel = -1;
    // The settings the audio is resampled to and analysed at: those of a
    // live recording.
    int sampleRate = defaults::sampleRate;
    int samplesPerBuffer = defaults::samplesPerBuffer;
    int fftPoints = defaults::fftPoints;
    // At most this many lines are kept (negative: all).
    long long maxLines = -1;
    // Set from anywhere to stop the decoding; nothing is then written.
    const std::atomic<bool>* cancel = nullptr;
    // Called now and then with the seconds of audio decoded and the file's
    // duration (negative when it does not say).
    std::function<void(double done, double total)> progress;
    // The time now, since the epoch: a recording-time tag later than it is
    // not taken.
    double now = 0.0;
};

struct DecodeResult {
    enum class Status { Written, NotAudio, NoTone, Cancelled, Failed };
    Status status = Status::Failed;
    // Why nothing was written, in words for the user.
    std::string message;
    // What the user should know of what was written: damaged frames
    // skipped, a file that ended early, seconds not kept.
    std::vector<std::string> notes;
    long long lines = 0;
    double toneSeconds = 0.0;
    // The recording's length, and the seconds of it listed as doubtful and
    // as without tone.
    double seconds = 0.0;
    double doubtfulSeconds = 0.0;
    double withoutToneSeconds = 0.0;
    // With maxLines reached: the seconds of the file after the last line
    // kept (negative when its duration is unknown).
    double secondsNotKept = 0.0;
    bool full = false;
};

// Reads the audio file, resamples the chosen channel to the recording rate,
// runs every buffer through the very analysis a live recording uses
// (BufferAnalysis) and hands the lines with the front end's tone to `out`.
// The recording's facts: the file as its source, its start from the file's
// own recording-time tag where it holds a plausible one, otherwise the
// file's modification time less its duration (estimated).
DecodeResult decodeToneFile(const DecodeRequest& request, records::DecodedOutput& out);

// "63 s of ECG, 4 s doubtful, 2 s without tone": what a decoding wrote.
std::string summaryText(const DecodeResult& result);

// "1:05:09" or "4:07": a time in hours, minutes and seconds.
std::string durationText(double seconds);

}  // namespace acquisition
