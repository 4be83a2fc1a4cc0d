#include "records/EdfExport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "records/Companion.h"
#include "records/FilteredRecording.h"
#include "records/FrontEndCalibration.h"
#include "records/PartialSave.h"
#include "tests/support/KeepLines.h"
#include "records/RecordEncoding.h"
#include "records/RecordFormat.h"
#include "tests/support/CaptureRig.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/HeartAgreement.h"
#include "tests/support/RecordText.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScratchDirectory.h"

namespace acquisition {
namespace {

using namespace std::chrono_literals;
using testsupport::Rig;

using testsupport::ReadBack;
using testsupport::readWithBiosig;

// A recording of seven panes from the simulator, as the capture stores it,
// with its companion; the heart signal it carried.
HeartSignal recordSevenPanes(SimulatorSettings settings = Rig::unpaced()) {
    Rig rig(nullptr, settings);
    EXPECT_TRUE(rig.painter->startCapture());
    const auto end = std::chrono::steady_clock::now() + 120s;
    while (rig.painter->isRecording() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_FALSE(rig.painter->isRecording());
    return rig.simulator.heartSignal();
}

// The record's values as the export must send them: its companion when that
// belongs to it (ten values a line, 487.5 a second), otherwise its own.
void expectReadsBackAs(const std::string& record) {
    const records::StoredRecording recording = testsupport::readStored(record);
    const std::vector<double>& values = recording.values;
    ASSERT_FALSE(values.empty());
    const std::vector<double>& companion = recording.companion;
    const bool high = !companion.empty();
    const std::vector<double>& sent = high ? companion : values;
    const double rate = high ? 487.5 : 48.75;
    const long long perRecord = high ? 975 : 195;
    const records::EdfExport edf(199680, 4096);
    ASSERT_EQ(edf.write(record, "out.edf"), "");
    const ReadBack back = readWithBiosig("out.edf");
    EXPECT_DOUBLE_EQ(back.samplingRate, rate);
    EXPECT_EQ(back.label, "ECG");
    EXPECT_EQ(back.unit, "mV");
    // Every buffer the capture skipped between two lines is one bridged
    // (those of one change of strip together), so that each sample lies at
    // its time; skipping the bridges, the samples are the values sent, in
    // whole data records (4 s of 195 values, or 2 s of 975), the last
    // padded; the annotation marks the true end.
    const records::RecordingFacts& facts = recording.facts;
    const long long lines = static_cast<long long>(values.size());
    const long long skipped = facts.skippedBefore(lines - 1) - facts.skippedBefore(0);
    const long long perLine = high ? 10 : 1;
    const auto n = static_cast<long long>(sent.size()) + skipped * perLine;
    EXPECT_EQ(back.storedSamples, (n + perRecord - 1) / perRecord * perRecord);
    EXPECT_NEAR(back.endOfRecording * rate, static_cast<double>(n), 0.01);
    double bridged = 0.0;
    for (const auto& [at, seconds] : back.bridges) {
        bridged += seconds;
    }
    EXPECT_NEAR(bridged * rate, static_cast<double>(skipped * perLine), 0.01);
    ASSERT_GE(back.millivolts.size(), static_cast<std::size_t>(n));
    std::size_t next = 0;
    for (long long i = 0; i < n; ++i) {
        const double t = (static_cast<double>(i) + 0.5) / rate;
        const bool inBridge = std::any_of(back.bridges.begin(), back.bridges.end(), [&](auto b) {
            return t > b.first && t < b.first + b.second;
        });
        if (inBridge) {
            continue;
        }
        ASSERT_LT(next, sent.size());
        const double expected = records::calibration::toMillivolts(sent[next++]);
        ASSERT_NEAR(back.millivolts[static_cast<std::size_t>(i)], expected, 0.001 + 1e-9)
            << "sample " << i;
    }
    EXPECT_EQ(next, sent.size());
}

using testsupport::Agreement;

// The first pane's stretch of the export (its values 1 to 460 are buffers 2
// to 461 of the recording, without a gap) and the heart signal at the
// middle of each tenth of those buffers.
Agreement exportAgainstHeart(const HeartSignal& heart) {
    const records::EdfExport edf(199680, 4096);
    EXPECT_EQ(edf.write("REC.txt", "out.edf"), "");
    const ReadBack back = readWithBiosig("out.edf");
    EXPECT_DOUBLE_EQ(back.samplingRate, 487.5);
    const std::size_t lines = 460;
    if (back.millivolts.size() < lines * 10) {
        ADD_FAILURE() << "the export holds " << back.millivolts.size() << " samples";
        return {};
    }
    std::vector<double> sent(back.millivolts.begin(), back.millivolts.begin() + lines * 10);
    std::vector<double> truth;
    for (std::size_t k = 0; k < lines; ++k) {
        for (int j = 0; j < 10; ++j) {
            const double sample = static_cast<double>(k + 1) * 4096 + (j + 0.5) * 409.6;
            truth.push_back(heart.millivolts(sample / 199680.0));
        }
    }
    const Agreement a = testsupport::compare(sent, truth);
    std::cout << "export against the heart signal: r " << a.r << ", RMS " << a.rms
              << " mV, QRS peak to peak x" << a.peakToPeak << ", lag " << a.lag << "\n";
    return a;
}

// What the medical centre gets from a recording is the whole QRS: the
// companion at 487.5 values a second follows the simulated heart signal.
TEST(EdfExport, TheCompanionOfARecordingCarriesTheWholeQrs) {
    testsupport::ScratchDirectory scratch;
    const HeartSignal heart = recordSevenPanes();
    EXPECT_EQ(testsupport::readRecordValues("REC.txt").size(),
              static_cast<std::size_t>(7 * 461 - 4));
    expectReadsBackAs("REC.txt");
    const Agreement clean = exportAgainstHeart(heart);
    EXPECT_GE(clean.r, 0.999);
    EXPECT_LE(clean.rms, 0.02);
    EXPECT_NEAR(clean.peakToPeak, 1.0, 0.03);

    // Without its companion the record is sent as before.
    std::filesystem::remove("REC.hr.txt");
    expectReadsBackAs("REC.txt");
}

// White noise over the whole band of the input, ten times the tone's power.
TEST(EdfExport, TheCompanionHoldsUpInNoiseTenDecibelsAboveTheTone) {
    testsupport::ScratchDirectory scratch;
    SimulatorSettings settings = Rig::unpaced();
    settings.amplitude = 0.1;
    // Uniform noise of peak p has the power p^2 / 3, the tone a^2 / 2.
    settings.lineNoise = settings.amplitude * std::sqrt(15.0);
    const HeartSignal heart = recordSevenPanes(settings);
    const Agreement noisy = exportAgainstHeart(heart);
    EXPECT_GE(noisy.r, 0.98);
}

TEST(EdfExport, FilteredAndTrimmedRecordingsReadBackToo) {
    testsupport::ScratchDirectory scratch;
    recordSevenPanes();
    {
        std::vector<double> filtered;
        std::string reason;
        const auto change = records::stageFilteredRecording({}, filtered, reason);
        ASSERT_NE(change, nullptr) << reason;
        ASSERT_EQ(change->commit(), "");
    }
    ASSERT_EQ(records::detectEncoding(testsupport::readRecordValues("REC.txt")),
              records::Encoding::Filter1000);
    ASSERT_TRUE(std::filesystem::exists("REC.hr.txt"));
    expectReadsBackAs("REC.txt");
    ASSERT_EQ(records::keepLines({101, 1500}).status, records::PartialSaveOutcome::Status::Saved);
    ASSERT_EQ(records::countLines("REC.hr.txt"), 1400u);
    expectReadsBackAs("REC.txt");
}

TEST(EdfExport, TheFileDoesNotDependOnTheLocale) {
    testsupport::ScratchDirectory scratch;
    {
        std::ofstream record("REC1.txt");
        for (int i = 0; i < 500; ++i) {
            record << (i % 2 == 0 ? 801.25 : -686.75) + 0.125 * (i % 7) << " \n";
        }
    }
    const records::EdfExport edf(199680, 4096);
    ASSERT_EQ(edf.write("REC1.txt", "c.edf"), "");
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no decimal-comma locale on this machine";
    }
    const std::string reason = edf.write("REC1.txt", "de.edf");
    std::setlocale(LC_ALL, previous.c_str());
    ASSERT_EQ(reason, "");
    EXPECT_EQ(testsupport::readFile("de.edf"), testsupport::readFile("c.edf"));
    // The header's fields, as the format lays them out.
    const std::string header = testsupport::readFile("c.edf").substr(0, 256);
    EXPECT_EQ(header.substr(8, 8), "X X X X ");
    EXPECT_EQ(header.compare(88, 10, "Startdate "), 0);
    EXPECT_NE(header.find("X X trelmont-ecg"), std::string::npos);
    EXPECT_EQ(header.compare(192, 5, "EDF+C"), 0);
}

// A smooth ECG as the companion holds it, 487.5 values a second (a narrow
// QRS every 0.8 s, a T wave), and its record beside it: each value the mean
// of its ten, stored with the markers of `encoding`, the last stored at
// 2024-03-01 10:00:20 UTC. Returns the companion's values.
std::vector<double> writeRecordWithCompanion(const std::string& record, int count,
                                             records::Encoding encoding) {
    std::vector<double> companion;
    for (int i = 0; i < count * records::companionValuesPerLine; ++i) {
        const double t = std::fmod(i / 487.5, 0.8);
        const double mv = 1.4 * std::exp(-std::pow((t - 0.2) / 0.012, 2)) +
                          0.3 * std::exp(-std::pow((t - 0.45) / 0.06, 2));
        companion.push_back(records::calibration::zeroLevel + mv * 5.48);
    }
    const double marker =
        encoding == records::Encoding::Filter1000 ? records::filterMarker : records::captureMarker;
    {
        std::ofstream out(record, std::ios::binary);
        char text[records::valueTextSize];
        for (int k = 0; k < count; ++k) {
            double sum = 0.0;
            for (int j = 0; j < records::companionValuesPerLine; ++j) {
                sum += companion[static_cast<std::size_t>(k * records::companionValuesPerLine + j)];
            }
            const double stored =
                sum / records::companionValuesPerLine + (encoding == records::Encoding::Plain ? 0.0
                                                         : k % 2 == 0 ? marker
                                                                      : -marker);
            out.write(text, static_cast<std::streamsize>(records::formatValue(
                                stored, records::LineEnd::BlankNewline, text)));
        }
    }
    const timespec stored{1709287220, 0};
    const timespec times[2] = {stored, stored};
    EXPECT_EQ(::utimensat(AT_FDCWD, record.c_str(), times, 0), 0);
    EXPECT_TRUE(testsupport::writeCompanion(record, companion));
    return companion;
}

// Runs `body` with the local time zone UTC.
template <typename Body>
void inUtc(Body body) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TZ", "UTC", 1);
    tzset();
    body();
    if (previous != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

// A record with a companion that belongs is sent at the companion's rate:
// 975 samples in data records of 2 s, sample for sample the companion, the
// demodulator's low-pass named, the start and the end those of the record.
TEST(EdfExport, ARecordWithItsCompanionIsSentAtTenTimesTheRate) {
    testsupport::ScratchDirectory scratch;
    const int count = 400;  // 8.2 s
    for (const auto encoding : {records::Encoding::Capture744, records::Encoding::Filter1000}) {
        const std::vector<double> companion = writeRecordWithCompanion("REC1.txt", count, encoding);
        const records::EdfExport edf(199680, 4096);
        EXPECT_EQ(records::EdfExport::dataRecordFor(199680 * 10, 4096).seconds, 2);
        EXPECT_EQ(records::EdfExport::dataRecordFor(199680 * 10, 4096).samples, 975);
        inUtc([&] { ASSERT_EQ(edf.write("REC1.txt", "hr.edf"), ""); });

        const ReadBack back = readWithBiosig("hr.edf");
        EXPECT_DOUBLE_EQ(back.samplingRate, 487.5);
        EXPECT_EQ(back.storedSamples, (10 * count + 974) / 975 * 975);
        EXPECT_NEAR(back.endOfRecording, count / 48.75, 1e-3);
        ASSERT_GE(back.millivolts.size(), companion.size());
        for (std::size_t i = 0; i < companion.size(); ++i) {
            ASSERT_NEAR(back.millivolts[i], records::calibration::toMillivolts(companion[i]),
                        0.001 + 1e-9)
                << "sample " << i;
        }
        // The QRS at its full height: 1.4 mV, where the record's means
        // flatten it.
        EXPECT_NEAR(*std::max_element(back.millivolts.begin(), back.millivolts.end()), 1.4, 0.02);

        // The header: 400 values before 10:00:20 is 10:00:11.8; the
        // prefilter field of the signal after the annotations' label.
        const std::string header = testsupport::readFile("hr.edf").substr(0, 3 * 256);
        EXPECT_EQ(header.substr(168, 16), "01.03.2410.00.11");
        const bool filtered = encoding == records::Encoding::Filter1000;
        const std::string prefilter = std::string("LP:150Hz, mean over 2.05 ms") +
                                      (filtered ? " HP: baseline wander removed (FILTER)" : "");
        EXPECT_EQ(header.substr(256 + 2 * 136, 80),
                  prefilter + std::string(80 - prefilter.size(), ' '));
    }
}

// A companion that does not belong to its record (one line off, a line
// short, or lines of another recording) is left out: the export is byte for
// byte the record's own at 48.75 values a second.
TEST(EdfExport, ACompanionThatDoesNotBelongIsLeftOut) {
    testsupport::ScratchDirectory scratch;
    const int count = 300;
    std::vector<double> companion =
        writeRecordWithCompanion("REC1.txt", count, records::Encoding::Capture744);
    const records::EdfExport edf(199680, 4096);
    records::removeCompanion("REC1.txt");
    ASSERT_EQ(edf.write("REC1.txt", "alone.edf"), "");
    const std::string alone = testsupport::readFile("alone.edf");
    EXPECT_DOUBLE_EQ(readWithBiosig("alone.edf").samplingRate, 48.75);

    std::vector<double> offByOne(companion.begin() + 10, companion.end());
    offByOne.insert(offByOne.end(), companion.end() - 10, companion.end());
    std::vector<double> manyOff = companion;
    // One line in seventeen: 6 %, where a genuine companion misses under 1 %.
    for (std::size_t j = 0; j < manyOff.size(); ++j) {
        manyOff[j] += j / 10 % 17 == 0 ? 3.0 : 0.0;
    }
    const std::vector<double> shortByOne(companion.begin(), companion.end() - 10);
    for (const auto& stranger : {offByOne, manyOff, shortByOne}) {
        ASSERT_TRUE(testsupport::writeCompanion("REC1.txt", stranger));
        ASSERT_EQ(edf.write("REC1.txt", "out.edf"), "");
        EXPECT_EQ(testsupport::readFile("out.edf"), alone);
    }
    // Within the agreement, the companion is taken.
    std::vector<double> close = companion;
    for (std::size_t j = 1230; j < 1240; ++j) {
        close[j] += 0.4;
    }
    ASSERT_TRUE(testsupport::writeCompanion("REC1.txt", close));
    ASSERT_EQ(edf.write("REC1.txt", "out.edf"), "");
    EXPECT_DOUBLE_EQ(readWithBiosig("out.edf").samplingRate, 487.5);
}

TEST(EdfExport, ValuesBecomeMicrovoltsAndAreClippedNotWrapped) {
    EXPECT_EQ(records::EdfStream::digitalValue(0.0), 0);
    EXPECT_EQ(records::EdfStream::digitalValue(1.0), 1000);
    EXPECT_EQ(records::EdfStream::digitalValue(-0.5), -500);
    EXPECT_EQ(records::EdfStream::digitalValue(1e6), 32767);
    EXPECT_EQ(records::EdfStream::digitalValue(-1e6), -32767);
    EXPECT_EQ(records::EdfExport::dataRecordFor(199680, 4096).seconds, 4);
    EXPECT_EQ(records::EdfExport::dataRecordFor(199680, 4096).samples, 195);
}

TEST(EdfExport, NothingIsWrittenForARecordThatCannotBeRead) {
    testsupport::ScratchDirectory scratch;
    const records::EdfExport edf(199680, 4096);
    EXPECT_NE(edf.write("missing.txt", "a.edf"), "");
    std::ofstream("empty.txt").close();
    EXPECT_NE(edf.write("empty.txt", "a.edf"), "");
    EXPECT_NE(edf.write(".", "a.edf"), "");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(".")) {
        ++files;
    }
    EXPECT_EQ(files, 1u);  // empty.txt
}

}  // namespace
}  // namespace acquisition
