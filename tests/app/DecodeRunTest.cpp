#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/HeartSignal.h"
#include "acquisition/HighRateDemodulator.h"
#include "records/FolderLock.h"
#include "records/RecordFormat.h"
#include "records/RecordingFacts.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/HeartAgreement.h"
#include "tests/support/HostileTones.h"
#include "tests/support/PipeFeeder.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ToneFiles.h"

extern char** environ;

// `--decode` as a user runs it: audio files of the front end's tone in the
// forms phones and recorders keep them, the same samples recorded live, and
// files that make no ECG.

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int recordingRate = 199680;
constexpr int samplesPerBuffer = 4096;
constexpr double valuesPerSecond = 48.75;

struct Outcome {
    int code = -1;
    std::string err;
    // From the start, or from the signal when one was sent, to the end.
    std::chrono::duration<double> took{};
};

// The program run with `arguments` in the current folder, its standard error
// kept. While it runs, `interruptWhen` is asked now and then with its
// process id; once it holds, the program gets `signal` (SIGINT: Ctrl+C).
// One still running after `limit` is killed.
Outcome runProgram(const std::vector<std::string>& arguments,
                   const std::function<bool(pid_t)>& interruptWhen = nullptr, int signal = SIGINT,
                   std::chrono::seconds limit = 180s) {
    Outcome run;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe2 failed";
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    std::vector<std::string> words{TRELMONT_PROGRAM};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(err[0]);
        ADD_FAILURE() << "the program could not be started";
        return run;
    }
    auto since = Clock::now();
    const auto deadline = since + limit;
    bool interrupted = false;
    bool ended = false;
    int status = 0;
    for (;;) {
        char chunk[4096];
        pollfd readable{err[0], POLLIN, 0};
        if (!ended && ::poll(&readable, 1, 20) > 0) {
            const ssize_t n = ::read(err[0], chunk, sizeof chunk);
            ended = n <= 0;
            run.err.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        } else if (ended) {
            std::this_thread::sleep_for(5ms);
        }
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            break;
        }
        if (interruptWhen && !interrupted && interruptWhen(pid)) {
            ::kill(pid, signal);
            since = Clock::now();
            interrupted = true;
        }
        if (Clock::now() > deadline) {
            ADD_FAILURE() << "the program did not end";
            ::kill(pid, SIGKILL);
        }
    }
    run.took = Clock::now() - since;
    for (char chunk[4096];;) {
        const ssize_t n = ::read(err[0], chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        run.err.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(err[0]);
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// What is in the current folder, but the lock file a record's folder keeps.
std::set<std::string> filesHere() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) {
        names.insert(entry.path().filename().string());
    }
    names.erase(records::FolderLock::fileName);
    return names;
}

// The times of the values of an EDF+ file decoded from a tone that starts
// at the file's first sample: the recording starts with its second buffer,
// and each line's ten values lie at the middles of its tenths.
std::vector<double> heartAtDecodedValues(const acquisition::HeartSignal& heart,
                                         std::size_t values) {
    std::vector<double> truth;
    for (std::size_t i = 0; i < values; ++i) {
        const double sample = static_cast<double>(i / 10 + 1) * samplesPerBuffer +
                              (static_cast<double>(i % 10) + 0.5) * samplesPerBuffer / 10.0;
        truth.push_back(heart.millivolts(sample / recordingRate));
    }
    return truth;
}

enum class Coding { Pcm16, MuLaw, Flac, Opus, Mp3, Aac };

struct Format {
    const char* file;
    Coding coding;
    int rate;
    int channels;
    int toneChannel;  // from 0; the other is silent
    bool named;       // --channel names it; otherwise the program finds it
};

// How the `ffmpeg` command makes the file from a 16-bit WAV.
std::string encoderOptions(Coding coding) {
    switch (coding) {
        case Coding::Pcm16:
            return "";
        case Coding::MuLaw:
            return "-c:a pcm_mulaw";
        case Coding::Flac:
            return "-c:a flac";
        case Coding::Opus:
            return "-c:a libopus -b:a 24k";
        case Coding::Mp3:
            return "-c:a libmp3lame -b:a 64k";
        case Coding::Aac:
            return "-c:a aac -b:a 64k";
    }
    return "";
}

// A voice memo, a voicemail or a recorder's file of the simulator's tone at
// 72 a minute, decoded to EDF+ and read back by biosig: it follows the heart
// signal (r at least 0.99) with the R wave within 5 % of its height, within
// 1 % where nothing was lost (16-bit or FLAC at 48000 samples a second and
// more); in a stereo file the tone is in one channel and silence in the
// other, the channel named or found.
TEST(DecodeRun, EveryCommonAudioFormatFollowsTheHeartSignal) {
    const Format formats[] = {
        {"pcm-199680.wav", Coding::Pcm16, 199680, 1, 0, false},
        {"pcm-199680-st.wav", Coding::Pcm16, 199680, 2, 0, false},
        {"pcm-48000.wav", Coding::Pcm16, 48000, 1, 0, false},
        {"pcm-48000-st.wav", Coding::Pcm16, 48000, 2, 1, true},
        {"pcm-44100.wav", Coding::Pcm16, 44100, 1, 0, false},
        {"pcm-44100-st.wav", Coding::Pcm16, 44100, 2, 0, true},
        {"pcm-8000.wav", Coding::Pcm16, 8000, 1, 0, false},
        {"pcm-8000-st.wav", Coding::Pcm16, 8000, 2, 1, false},
        {"mulaw-199680.wav", Coding::MuLaw, 199680, 1, 0, false},
        {"mulaw-199680-st.wav", Coding::MuLaw, 199680, 2, 1, false},
        {"mulaw-48000.wav", Coding::MuLaw, 48000, 1, 0, false},
        {"mulaw-48000-st.wav", Coding::MuLaw, 48000, 2, 0, true},
        {"mulaw-44100.wav", Coding::MuLaw, 44100, 1, 0, false},
        {"mulaw-44100-st.wav", Coding::MuLaw, 44100, 2, 1, false},
        {"mulaw-8000.wav", Coding::MuLaw, 8000, 1, 0, false},
        {"mulaw-8000-st.wav", Coding::MuLaw, 8000, 2, 0, false},
        {"flac-48000.flac", Coding::Flac, 48000, 1, 0, false},
        {"flac-48000-st.flac", Coding::Flac, 48000, 2, 1, false},
        {"opus-24k.opus", Coding::Opus, 48000, 1, 0, false},
        {"opus-24k-st.opus", Coding::Opus, 48000, 2, 0, false},
        {"mp3-64k.mp3", Coding::Mp3, 44100, 1, 0, false},
        {"mp3-64k-st.mp3", Coding::Mp3, 44100, 2, 1, true},
        {"aac-64k.m4a", Coding::Aac, 48000, 1, 0, false},
        {"aac-64k-st.m4a", Coding::Aac, 48000, 2, 0, false},
    };
    testsupport::ScratchDirectory scratch;
    const acquisition::HeartSignal heart;
    constexpr double seconds = 16.0;
    std::map<int, std::vector<std::int16_t>> tones;
    for (const Format& format : formats) {
        SCOPED_TRACE(format.file);
        if (tones.count(format.rate) == 0) {
            tones[format.rate] = testsupport::simulatorTone(heart, format.rate, seconds);
        }
        const std::vector<std::int16_t>& tone = tones[format.rate];
        const std::string pcm = format.coding == Coding::Pcm16 ? format.file : "source.wav";
        testsupport::writeWav(pcm, format.rate, format.channels,
                              format.channels == 1 ? tone
                                                   : testsupport::inChannel(tone, format.channels,
                                                                            format.toneChannel));
        if (format.coding != Coding::Pcm16) {
            ASSERT_EQ(std::system(("ffmpeg -v error -y -i source.wav " +
                                   encoderOptions(format.coding) + " " + format.file)
                                      .c_str()),
                      0);
        }
        std::vector<std::string> arguments{"--decode", format.file, "out.edf"};
        if (format.named) {
            arguments.insert(arguments.end(),
                             {"--channel", std::to_string(format.toneChannel + 1)});
        }
        const Outcome run = runProgram(arguments);
        ASSERT_EQ(run.code, 0) << run.err;

        const testsupport::ReadBack back = testsupport::readWithBiosig("out.edf");
        EXPECT_DOUBLE_EQ(back.samplingRate, 487.5);
        const auto values = static_cast<std::size_t>(std::lround(back.endOfRecording * 487.5));
        ASSERT_GE(values, static_cast<std::size_t>((seconds - 2.0) * 487.5));
        ASSERT_LE(values, back.millivolts.size());
        const std::vector<double> decoded(
            back.millivolts.begin(), back.millivolts.begin() + static_cast<std::ptrdiff_t>(values));
        // A coder's delay, or a tone found a buffer late, moves the ECG by
        // at most three buffers.
        const testsupport::Agreement a =
            testsupport::compare(decoded, heartAtDecodedValues(heart, values), 30);
        std::printf("%-20s r %.5f  R x%.4f  peak to peak x%.4f  lag %+d  %zu values\n", format.file,
                    a.r, a.rAmplitude, a.peakToPeak, a.lag, values);
        const bool lossless = (format.coding == Coding::Pcm16 || format.coding == Coding::Flac) &&
                              format.rate >= 48000;
        EXPECT_GE(a.r, 0.99);
        EXPECT_NEAR(a.rAmplitude, 1.0, lossless ? 0.01 : 0.05);
        fs::remove(format.file);
        fs::remove("out.edf");
    }
}

// Two WAV files joined by `cat`, the second at another rate and in stereo:
// both are read, the second at its own rate, the ECG follows the heart
// across the join to the end, and the start estimated from the file's time
// counts both.
TEST(DecodeRun, WavFilesJoinedOneAfterAnotherAreReadOn) {
    testsupport::ScratchDirectory scratch;
    const acquisition::HeartSignal heart;
    testsupport::writeWav("first.wav", 48000, 1, testsupport::simulatorTone(heart, 48000, 8.0));
    std::vector<std::int16_t> later = testsupport::simulatorTone(heart, 44100, 16.0);
    later.erase(later.begin(), later.begin() + 8 * 44100);
    testsupport::writeWav("second.wav", 44100, 2, testsupport::inChannel(later, 2, 0));
    std::ofstream("joined.wav", std::ios::binary)
        << testsupport::readFile("first.wav") << testsupport::readFile("second.wav");
    // Without a recording time of its own, the file began 16 s before it
    // was last written.
    const long long written = 1764583214;
    ASSERT_EQ(std::system(("touch -d @" + std::to_string(written) + " joined.wav").c_str()), 0);
    const Outcome run = runProgram({"--decode", "joined.wav", "out.edf"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NEAR(testsupport::edfStartSeconds("out.edf"), static_cast<double>(written - 16), 1.0);
    const testsupport::ReadBack back = testsupport::readWithBiosig("out.edf");
    EXPECT_NEAR(back.endOfRecording, 16.0, 0.3);
    const auto values = static_cast<std::size_t>(std::lround(back.endOfRecording * 487.5));
    ASSERT_LE(values, back.millivolts.size());
    const std::vector<double> decoded(
        back.millivolts.begin(), back.millivolts.begin() + static_cast<std::ptrdiff_t>(values));
    const testsupport::Agreement a =
        testsupport::compare(decoded, heartAtDecodedValues(heart, values), 30);
    EXPECT_GE(a.r, 0.99);
    EXPECT_NEAR(a.rAmplitude, 1.0, 0.02);
}

// Sound missing in the middle of a compressed file: pages of an Ogg Opus
// file cut out, a stretch of an M4A's frames overwritten. Its time is kept
// as a stretch without tone, the note says how much and where, and the ECG
// after it stands at the heart's own time: nothing moves up to close the
// gap.
TEST(DecodeRun, SoundMissingInsideACompressedFileKeepsTheTimeOfWhatFollows) {
    struct Damage {
        const char* file;
        Coding coding;
        bool cutOut;  // otherwise overwritten
    };
    testsupport::ScratchDirectory scratch;
    const acquisition::HeartSignal heart;
    constexpr double seconds = 20.0;
    testsupport::writeWav("source.wav", 48000, 1,
                          testsupport::simulatorTone(heart, 48000, seconds));
    for (const Damage& damage :
         {Damage{"cut.opus", Coding::Opus, true}, Damage{"overwritten.m4a", Coding::Aac, false}}) {
        SCOPED_TRACE(damage.file);
        ASSERT_EQ(std::system(("ffmpeg -v error -y -i source.wav " + encoderOptions(damage.coding) +
                               " whole" + fs::path(damage.file).extension().string())
                                  .c_str()),
                  0);
        std::ifstream in("whole" + fs::path(damage.file).extension().string(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // From a quarter of the file, a tenth of it.
        const std::size_t from = bytes.size() / 4;
        const std::size_t length = bytes.size() / 10;
        if (damage.cutOut) {
            bytes.erase(from, length);
        } else {
            std::uint32_t state = 7;
            for (std::size_t i = from; i < from + length; ++i) {
                state = state * 1664525u + 1013904223u;
                bytes[i] = static_cast<char>(state >> 24);
            }
        }
        std::ofstream(damage.file, std::ios::binary) << bytes;

        const Outcome run = runProgram({"--decode", damage.file, "out.edf"});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.err.find("of sound missing from the file at 0:0"), std::string::npos)
            << run.err;
        const testsupport::ReadBack back = testsupport::readWithBiosig("out.edf");
        EXPECT_NEAR(back.endOfRecording, seconds, 0.3);
        // The missing stretch, a second or more near the damage, is the one
        // without tone.
        ASSERT_EQ(back.withoutTone.size(), 1u);
        const auto [gapAt, gapLength] = back.withoutTone[0];
        EXPECT_GT(gapAt, 2.0);
        EXPECT_LT(gapAt + gapLength, 12.0);
        EXPECT_GT(gapLength, 1.0);
        // From a second after it to the end, the ECG is the heart's at its
        // own time (a coder's delay aside).
        const auto first = static_cast<std::size_t>((gapAt + gapLength + 1.0) * 487.5);
        const auto values = static_cast<std::size_t>(std::lround(back.endOfRecording * 487.5));
        ASSERT_LT(first + 2000, values);
        ASSERT_LE(values, back.millivolts.size());
        const std::vector<double> truth = heartAtDecodedValues(heart, values);
        const testsupport::Agreement a = testsupport::compare(
            {back.millivolts.begin() + static_cast<std::ptrdiff_t>(first),
             back.millivolts.begin() + static_cast<std::ptrdiff_t>(values)},
            {truth.begin() + static_cast<std::ptrdiff_t>(first), truth.end()}, 30);
        std::printf("%s: %.2f s without tone at %.2f s; after it r %.4f lag %+d\n", damage.file,
                    gapLength, gapAt, a.r, a.lag);
        EXPECT_GE(a.r, 0.99);
    }
}

std::vector<std::string> linesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A record's line without its +-744 marker, as the record writes a value.
std::string withoutMarker(const std::string& line) {
    const double stored = records::parseValue(line);
    const double value = stored - (stored > 0.0 ? 744.0 : -744.0);
    char text[records::valueTextSize];
    return {text, records::formatValue(value, records::LineEnd::BlankNewline, text)};
}

// The same samples through the sound card and from a file make the same
// recording: the tone fed through the tests' ALSA device into an unattended
// recording of eleven seconds (a change of strip included), and decoded
// from a WAV file of it. Live line k is buffer k plus the buffers skipped
// before it; the decoded recording says by its start which buffer its first
// line is. Every value (its marker aside) and every companion line is equal
// as text, but the last line's companion: the stop completed it without the
// buffer after it, which the file has; and both list a dropout and a silence
// in the tone at the same buffers.
TEST(DecodeRun, ALiveRecordingAndTheDecodedFileOfItsSamplesAreEqualLineForLine) {
    testsupport::ScratchDirectory scratch;
    const acquisition::HeartSignal heart;
    constexpr double seconds = 16.0;
    std::vector<std::int16_t> samples = testsupport::simulatorTone(heart, recordingRate, seconds);
    // A dropout of 0.6 s (doubtful) and 1.5 s without tone, in whole buffers.
    const auto silence = [&samples](long long firstBuffer, long long buffers) {
        std::fill_n(samples.begin() + firstBuffer * samplesPerBuffer, buffers * samplesPerBuffer,
                    std::int16_t{0});
    };
    silence(195, 30);
    silence(290, 73);
    {
        const testsupport::PipeFeeder feeder(samples);
        std::ofstream("asound.conf") << feeder.alsaConfiguration();
        setenv("ALSA_CONFIG_PATH", "asound.conf", 1);
        const Outcome live = runProgram({"--record", "11"});
        unsetenv("ALSA_CONFIG_PATH");
        ASSERT_EQ(live.code, 0) << live.err;
    }
    testsupport::writeWav("tone.wav", recordingRate, 1, samples);
    const double written = 1'700'000'000.0;
    testsupport::setModificationTime("tone.wav", {static_cast<std::time_t>(written), 0});
    const Outcome decoded = runProgram({"--decode", "tone.wav", "dec.txt"});
    ASSERT_EQ(decoded.code, 0) << decoded.err;

    const records::FactsReading liveFacts = records::readFacts("REC.txt");
    const records::FactsReading decodedFacts = records::readFacts("dec.txt");
    ASSERT_EQ(liveFacts.status, records::FactsReading::Status::Read);
    ASSERT_EQ(decodedFacts.status, records::FactsReading::Status::Read);
    // Without a tag saying when, the file began its length before it was
    // last written.
    const double fileStart = written - seconds;
    const long long firstBuffer =
        std::llround((decodedFacts.facts.startSeconds - fileStart) * valuesPerSecond);
    EXPECT_EQ(firstBuffer, 1);

    const std::vector<std::string> liveValues = linesOf("REC.txt");
    const std::vector<std::string> liveCompanion = linesOf("REC.hr.txt");
    const std::vector<std::string> values = linesOf("dec.txt");
    const std::vector<std::string> companion = linesOf("dec.hr.txt");
    ASSERT_GE(liveValues.size(), 480u);
    ASSERT_EQ(liveCompanion.size(), liveValues.size());
    ASSERT_GE(liveFacts.facts.skippedAfterLines.size(), 2u);
    std::printf("%zu live lines, buffers skipped after lines", liveValues.size());
    for (const long long after : liveFacts.facts.skippedAfterLines) {
        std::printf(" %lld", after);
    }
    std::printf("; the decoded recording starts at buffer %lld\n", firstBuffer);
    const auto stopCompleted = static_cast<std::size_t>(
        acquisition::HighRateDemodulator(recordingRate, samplesPerBuffer).lag());
    for (std::size_t k = 0; k < liveValues.size(); ++k) {
        const long long buffer =
            static_cast<long long>(k) + liveFacts.facts.skippedBefore(static_cast<long long>(k));
        const auto line = static_cast<std::size_t>(buffer - firstBuffer);
        ASSERT_LT(line, values.size()) << "live line " << k;
        ASSERT_EQ(withoutMarker(liveValues[k]), withoutMarker(values[line]))
            << "live line " << k << ", buffer " << buffer;
        if (k + stopCompleted < liveValues.size()) {
            ASSERT_EQ(liveCompanion[k], companion[line])
                << "live line " << k << ", buffer " << buffer;
        }
    }
    // Both list the dropout as doubtful and the silence as without tone, at
    // the same buffers.
    using Buffers = std::vector<std::pair<long long, long long>>;
    const auto liveBuffers = [&](const auto& stretches) {
        Buffers b;
        for (const auto& [first, count] : stretches) {
            b.emplace_back(first + liveFacts.facts.skippedBefore(first), count);
        }
        return b;
    };
    const auto decodedBuffers = [&](const auto& stretches) {
        Buffers b;
        for (const auto& [first, count] : stretches) {
            b.emplace_back(first + firstBuffer, count);
        }
        return b;
    };
    EXPECT_EQ(liveBuffers(liveFacts.facts.linesWithDoubtfulTone), (Buffers{{195, 30}}));
    EXPECT_EQ(liveBuffers(liveFacts.facts.linesWithoutTone), (Buffers{{290, 73}}));
    EXPECT_EQ(decodedBuffers(decodedFacts.facts.linesWithDoubtfulTone),
              liveBuffers(liveFacts.facts.linesWithDoubtfulTone));
    EXPECT_EQ(decodedBuffers(decodedFacts.facts.linesWithoutTone),
              liveBuffers(liveFacts.facts.linesWithoutTone));
}

struct BadInput {
    const char* what;
    // Makes the input in the current folder.
    std::function<void()> make;
    std::vector<std::string> arguments;
    int code;
    std::vector<std::string> words;  // in what the program says
    // Ctrl+C once the output's temporary file is there.
    bool interrupt = false;
};

// A short tone that makes an ECG, at 8000 samples a second.
void writeTone(const std::string& path, int channels = 1, std::uint32_t announcedFrames = 0) {
    static const std::vector<std::int16_t> tone =
        testsupport::simulatorTone(acquisition::HeartSignal{}, 8000, 8.0);
    testsupport::writeWav(path, 8000, channels,
                          channels == 1 ? tone : testsupport::inChannel(tone, channels, 0),
                          announcedFrames);
}

void writeNoise(const std::string& path) {
    std::vector<std::int16_t> noise(8 * 48000);
    std::uint32_t state = 12345;
    for (std::int16_t& s : noise) {
        state = state * 1664525u + 1013904223u;
        s = static_cast<std::int16_t>(static_cast<int>(state >> 16) - 32768);
    }
    testsupport::writeWav(path, 48000, 1, noise);
}

// Recordings that a failed decoding must leave as they were.
void writeExistingOutputs() {
    std::ofstream("kept.edf") << "an EDF+ file of an earlier decoding\n";
    std::ofstream("kept.txt") << "801.2 \n-686.8 \n";
    std::ofstream("kept.hr.txt") << "57.2 57.2 57.2 57.2 57.2 57.2 57.2 57.2 57.2 57.2\n";
    std::ofstream("kept.info.txt") << "trelmont-ecg recording facts, version 1\n";
}

// What makes no ECG, and a decoding stopped halfway: the reason in a line,
// the exit code, and no output, partial or temporary, in the folder; an
// output that was there before stays byte for byte. A file cut short still
// makes one, and says so.
TEST(DecodeRun, WhatMakesNoEcgIsRefusedAndLeavesNothingBehind) {
    const BadInput inputs[] = {
        {"an empty file",
         [] { std::ofstream("empty.wav").close(); },
         {"--decode", "empty.wav", "out.edf"},
         1,
         {"empty.wav is not an audio file this program can read"}},
        {"a text file named .wav",
         [] { std::ofstream("notes.wav") << "Call the clinic\n"; },
         {"--decode", "notes.wav", "out.edf"},
         1,
         {"notes.wav is not an audio file this program can read"}},
        {"a WAV file cut short",
         [] { writeTone("cut.wav", 1, 4 * 8 * 8000); },
         {"--decode", "cut.wav", "out.edf"},
         0,
         {"the file ends at 0:08 of the 0:32 its header announces"}},
        {"a WAV file whose header counts only part of its sound",
         [] { writeTone("part.wav", 1, 6 * 8000); },
         {"--decode", "part.wav", "out.edf"},
         0,
         {"sound its header does not count was not read: about 0:02 after the 0:06"}},
        {"two WAV files joined",
         [] {
             writeTone("one.wav");
             const std::string one = testsupport::readFile("one.wav");
             std::ofstream("joined.wav", std::ios::binary) << one << one;
         },
         {"--decode", "joined.wav", "out.edf"},
         0,
         {"another WAV file joined at 0:08 was read on"}},
        {"a WAV file joined after one whose header is damaged",
         [] {
             writeTone("one.wav");
             std::string other = testsupport::readFile("one.wav");
             other.replace(8, 8, "WAVEfmt?");
             std::ofstream("garbled.wav", std::ios::binary)
                 << testsupport::readFile("one.wav") << other;
         },
         {"--decode", "garbled.wav", "out.edf"},
         0,
         {"another WAV file joined after its sound was not read: about 0:08"}},
        {"noise only",
         [] { writeNoise("noise.wav"); },
         {"--decode", "noise.wav", "out.edf"},
         1,
         {"No ECG tone was found in", "noise.wav"}},
        {"silence only",
         [] { testsupport::writeWav("quiet.wav", 8000, 1, std::vector<std::int16_t>(80000)); },
         {"--decode", "quiet.wav", "out.txt"},
         1,
         {"No ECG tone was found in", "quiet.wav"}},
        {"an EDF+ file in a folder that cannot be written",
         [] { writeTone("tone.wav"); },
         {"--decode", "tone.wav", "/proc/out.edf"},
         1,
         {"/proc/out.edf", "cannot be"}},
        {"a record in a folder that cannot be written",
         [] { writeTone("tone.wav"); },
         {"--decode", "tone.wav", "/proc/out.txt"},
         1,
         {"/proc/out.txt", "cannot be"}},
        {"an EDF+ file that exists",
         [] {
             writeNoise("noise.wav");
             writeExistingOutputs();
         },
         {"--decode", "noise.wav", "kept.edf"},
         1,
         {"No ECG tone"}},
        {"a record that exists",
         [] {
             testsupport::writeWav("quiet.wav", 8000, 1, std::vector<std::int16_t>(80000));
             writeExistingOutputs();
         },
         {"--decode", "quiet.wav", "kept.txt"},
         1,
         {"No ECG tone"}},
        {"a note beside the record that names another file",
         [] {
             writeTone("tone.wav");
             std::ofstream("thesis.odt") << "chapter one\n";
             std::ofstream("memo.commit")
                 << "trelmont-ecg commit, version 1\nremove thesis.odt\nend\n";
         },
         {"--decode", "tone.wav", "memo.txt"},
         1,
         {"memo.commit is not an intent this program wrote.", "memo.txt was not written."}},
        {"an output neither EDF+ nor a record",
         [] { writeTone("tone.wav"); },
         {"--decode", "tone.wav", "out.wav"},
         2,
         {"--decode writes a file ending in", "out.wav"}},
        {"the tone file as its own output",
         [] { writeTone("tone.txt"); },
         {"--decode", "tone.txt", "tone.txt"},
         1,
         {"tone.txt is the tone file being decoded"}},
        {"the tone file where the output's companion goes",
         [] { writeTone("out.hr.txt"); },
         {"--decode", "out.hr.txt", "out.txt"},
         1,
         {"out.hr.txt is the tone file being decoded"}},
        {"a channel the file has not",
         [] { writeTone("stereo.wav", 2); },
         {"--decode", "stereo.wav", "out.edf", "--channel", "3"},
         1,
         {"stereo.wav has 2 channels, not 3"}},
        {"Ctrl+C in the middle",
         [] {
             ASSERT_EQ(std::system("ffmpeg -v error -y -f lavfi "
                                   "-i sine=frequency=1716:sample_rate=8000:duration=300 long.wav"),
                       0);
         },
         {"--decode", "long.wav", "out.edf"},
         1,
         {"the decoding was stopped"},
         true},
    };
    for (const BadInput& input : inputs) {
        SCOPED_TRACE(input.what);
        testsupport::ScratchDirectory scratch;
        input.make();
        const std::set<std::string> before = filesHere();
        std::map<std::string, std::string> contents;
        for (const std::string& name : before) {
            contents[name] = testsupport::readFile(name);
        }
        const Outcome run = runProgram(input.arguments, [&](pid_t) {
            return input.interrupt && filesHere().size() > before.size();
        });
        EXPECT_EQ(run.code, input.code) << run.err;
        for (const std::string& word : input.words) {
            EXPECT_NE(run.err.find(word), std::string::npos) << word << " in\n" << run.err;
        }
        std::set<std::string> expected = before;
        if (input.code == 0) {
            expected.insert(input.arguments[2]);
        } else {
            const std::size_t lines = std::count(run.err.begin(), run.err.end(), '\n');
            EXPECT_LE(lines, input.code == 2 ? 2u : 1u) << run.err;
        }
        EXPECT_EQ(filesHere(), expected);
        for (const auto& [name, text] : contents) {
            EXPECT_EQ(testsupport::readFile(name), text) << name;
        }
    }
}

namespace hostile {

// Whether the program `pid` has the file `name` (in the current folder) open.
bool holds(pid_t pid, const std::string& name) {
    const fs::path file = fs::absolute(name);
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        if (fs::read_symlink(fd.path(), error) == file) {
            return true;
        }
    }
    return false;
}

// Whether anyone has the FIFO `name` open for reading: a writer that does
// not wait is refused (ENXIO) while nobody does.
bool fifoHasReader(const std::string& name) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
    }
    return fd >= 0 || errno != ENXIO;
}

// The time of the highest value of the ECG of the EDF+ file `edf` (decoded
// from a tone that starts at the file's first sample) within 150 ms of the
// heart signal's last R wave before `seconds`.
double lastRWave(const std::string& edf, double seconds) {
    const std::vector<double> ecg = testsupport::readWithBiosig(edf).millivolts;
    const acquisition::HeartSignal heart;
    int beat = 0;
    while (heart.rPeakTime(beat + 1) < seconds - 0.5) {
        ++beat;
    }
    const auto timeOf = [](std::size_t k) {
        return (static_cast<double>(k / 10 + 1) * samplesPerBuffer +
                (static_cast<double>(k % 10) + 0.5) * samplesPerBuffer / 10.0) /
               recordingRate;
    };
    std::size_t best = 0;
    for (std::size_t k = 0; k < ecg.size(); ++k) {
        if (std::abs(timeOf(k) - heart.rPeakTime(beat)) < 0.15 &&
            (best == 0 || ecg[k] > ecg[best])) {
            best = k;
        }
    }
    for (const char* end : {".csv", ".json"}) {
        fs::remove(edf + end);
    }
    return timeOf(best);
}

}  // namespace hostile

// Tone files as they come from outside. Two MP3 files joined by `cat`, the
// second with fewer channels or half the rate, are decoded whole, the heart
// in time to the end: the last R wave within 25 ms of where it lies in the
// joined file (the coder's delay and padding at the join move it by tens of
// milliseconds from the heart signal's time; the ffmpeg command's reading of
// the joined file, made mono at one rate, says where). Lists in disguise
// naming a FIFO or another audio file, an M4A cut short and an empty one are
// refused at once in plain words, the FIFO never opened and nothing written.
TEST(DecodeRun, ToneFilesFromOutsideAreReadWholeOrRefusedInPlainWords) {
    const struct {
        const char* file;
        std::function<bool()> make;
        const char* says;  // nullptr: an ECG is written
    } inputs[] = {
        {"stereo-then-mono.mp3",
         [] { return testsupport::writeJoinedMp3("stereo-then-mono.mp3", 44100, 2, 44100); },
         nullptr},
        {"rate-halves.mp3",
         [] { return testsupport::writeJoinedMp3("rate-halves.mp3", 44100, 1, 22050); }, nullptr},
        {"list.wav", [] { return testsupport::writeConcatList("list.wav", "pipe.wav"), true; },
         "list naming other files"},
        {"voicemail.wav",
         [] { return testsupport::writePlaylist("voicemail.wav", "pipe.wav"), true; },
         "list naming other files"},
        {"other.wav", [] { return testsupport::writeConcatList("other.wav", "tone.wav"), true; },
         "list naming other files"},
        {"cut.m4a", [] { return testsupport::writeTruncatedM4a("cut.m4a"); },
         "it is damaged or cut short"},
        {"empty.m4a", [] { return testsupport::writeEmptyM4a("empty.m4a"); }, "it holds no sound"},
    };
    testsupport::ScratchDirectory scratch;
    ASSERT_EQ(::mkfifo("pipe.wav", 0600), 0);
    writeTone("tone.wav");
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.file);
        ASSERT_TRUE(input.make());
        const std::set<std::string> before = filesHere();
        bool fifoOpened = false;
        const Outcome run = runProgram(
            {"--decode", input.file, "out.edf"},
            [&](pid_t) { return (fifoOpened = fifoOpened || hostile::fifoHasReader("pipe.wav")); },
            SIGKILL, 20s);
        EXPECT_FALSE(fifoOpened);
        if (input.says == nullptr) {
            ASSERT_EQ(run.code, 0) << run.err;
            ASSERT_TRUE(testsupport::ffmpeg("-v quiet -i " + std::string(input.file) +
                                            " -ac 1 -ar 44100 reference.wav"));
            ASSERT_EQ(runProgram({"--decode", "reference.wav", "reference.edf"}).code, 0);
            const double seconds = testsupport::readWithBiosig("out.edf").endOfRecording;
            EXPECT_NEAR(seconds, 12.0, 0.3);
            const double decoded = hostile::lastRWave("out.edf", seconds);
            const double reference = hostile::lastRWave("reference.edf", seconds);
            std::printf("%s: %.2f s, the last R wave at %.4f s, in the joined file at %.4f s\n",
                        input.file, seconds, decoded, reference);
            EXPECT_NEAR(decoded, reference, 0.025);
            for (const char* made : {"out.edf", "reference.wav", "reference.edf"}) {
                fs::remove(made);
            }
        } else {
            EXPECT_EQ(run.code, 1);
            EXPECT_LT(run.took, 2s);
            EXPECT_NE(run.err.find(std::string(input.file) +
                                   " is not an audio file this program can read: "),
                      std::string::npos)
                << run.err;
            EXPECT_NE(run.err.find(input.says), std::string::npos) << run.err;
        }
        EXPECT_EQ(filesHere(), before);
    }
}

// Ctrl+C, a polite kill and a closed terminal, each at another moment of the
// decoding of a 10-minute stereo WAV: the file just opened, its channel
// being chosen, its output begun. The program ends within a second with
// exit code 1 and leaves nothing, partial or temporary.
TEST(DecodeRun, ASignalAtAnyMomentStopsTheDecodingWithinASecond) {
    testsupport::ScratchDirectory scratch;
    ASSERT_TRUE(testsupport::ffmpeg(
        "-f lavfi -i sine=frequency=1716:sample_rate=8000:duration=600 -ac 2 long.wav"));
    const std::set<std::string> before = filesHere();
    Clock::time_point opened{};
    const struct {
        int signal;
        const char* when;
        std::function<bool(pid_t)> now;
    } moments[] = {
        {SIGTERM, "opened", [](pid_t pid) { return hostile::holds(pid, "long.wav"); }},
        {SIGHUP, "choosing the channel",
         [&](pid_t pid) {
             if (opened == Clock::time_point{} && hostile::holds(pid, "long.wav")) {
                 opened = Clock::now();
             }
             return opened != Clock::time_point{} && Clock::now() - opened > 300ms;
         }},
        {SIGINT, "writing", [&](pid_t) { return filesHere().size() > before.size(); }},
    };
    for (const auto& moment : moments) {
        SCOPED_TRACE(moment.when);
        const Outcome run =
            runProgram({"--decode", "long.wav", "out.edf"}, moment.now, moment.signal, 60s);
        std::printf("%s: ended %.3f s after the signal\n", moment.when, run.took.count());
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_NE(run.err.find("the decoding was stopped"), std::string::npos) << run.err;
        EXPECT_LT(run.took, 1s);
        EXPECT_EQ(filesHere(), before);
    }
}

}  // namespace
