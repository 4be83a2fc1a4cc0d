// When a recording began, as the program says it to a user in another time
// zone than UTC: from the tags phones and recorders write, from a clock that
// never was set, and from facts that belong to another version of a record.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "acquisition/HeartSignal.h"
#include "records/RecordingFacts.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/PrintedPages.h"
#include "tests/support/RecordingFiles.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ToneFiles.h"

namespace {

// The program run by the shell in time zone `zone`.
int runIn(const std::string& zone, const std::string& arguments) {
    const std::string command = "QT_QPA_PLATFORM=offscreen TZ=" + zone + " " +
                                std::string(TRELMONT_PROGRAM) + " " + arguments;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ffmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -v error -y -i tone.wav " + arguments).c_str());
}

// Ten seconds of the simulator's tone at 48000 samples a second.
void writeTone() {
    const acquisition::HeartSignal heart;
    testsupport::writeWav("tone.wav", 48000, 1, testsupport::simulatorTone(heart, 48000, 10.0));
}

struct EdfStart {
    std::string dateAndTime;  // "dd.mm.yyhh.mm.ss", local time
    std::string recording;    // the recording field, trailing blanks off
};

EdfStart edfStart(const std::string& edf) {
    const std::string header = testsupport::readFile(edf);
    if (header.size() < 256) {
        ADD_FAILURE() << edf << " holds no header";
        return {};
    }
    std::string recording = header.substr(88, 80);
    recording.erase(recording.find_last_not_of(' ') + 1);
    return {header.substr(168, 16), recording};
}

// An M4A's creation time is UTC; a broadcast WAV's origination and a
// Vorbis comment DATE without an offset are the recorder's local time. The
// EDF+ header holds local time: the same instant from the M4A in Berlin and
// in Los Angeles, the same wall-clock time from the others. Each file is
// dated months away by its modification time, which the tag overrides.
TEST(DecodeDates, TheTagsTimeIsTheStartInEveryTimeZone) {
    testsupport::ScratchDirectory scratch;
    writeTone();
    ASSERT_EQ(ffmpeg("-c:a aac -b:a 64k -metadata creation_time=2026-07-15T06:30:15Z memo.m4a"), 0);
    ASSERT_EQ(ffmpeg("-write_bext 1 -metadata origination_date=2026-01-20 "
                     "-metadata origination_time=14:05:30 bwf.wav"),
              0);
    ASSERT_EQ(ffmpeg("-c:a flac -metadata DATE=2026-07-15T22:45:10 note.flac"), 0);
    const struct {
        const char* zone;
        const char* file;
        const char* start;
        const char* date;
    } cases[] = {
        {"Europe/Berlin", "memo.m4a", "15.07.2608.30.15", "15-JUL-2026"},
        {"America/Los_Angeles", "memo.m4a", "14.07.2623.30.15", "14-JUL-2026"},
        {"Europe/Berlin", "bwf.wav", "20.01.2614.05.30", "20-JAN-2026"},
        {"America/Los_Angeles", "bwf.wav", "20.01.2614.05.30", "20-JAN-2026"},
        {"Europe/Berlin", "note.flac", "15.07.2622.45.10", "15-JUL-2026"},
        {"America/Los_Angeles", "note.flac", "15.07.2622.45.10", "15-JUL-2026"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " in " + c.zone);
        testsupport::setModificationTime(c.file, {1'760'000'000, 0});  // 2025-10-09
        ASSERT_EQ(runIn(c.zone, std::string("--decode ") + c.file + " out.edf"), 0);
        const EdfStart start = edfStart("out.edf");
        EXPECT_EQ(start.dateAndTime, c.start);
        EXPECT_EQ(start.recording, std::string("Startdate ") + c.date + " X X trelmont-ecg");
    }
}

// A recorder without a clock dates its files 1980-01-01, one whose clock
// ran wild 2090: the EDF+ says the start is unknown (in the form EDF+ has
// for it, which biosig reads), the facts of a record decoded from it keep
// the date estimated, and an export of that record is unknown too.
TEST(DecodeDates, AStartEdfCannotHoldIsWrittenAsUnknown) {
    testsupport::ScratchDirectory scratch;
    writeTone();
    const EdfStart unknown{"01.01.8500.00.00", "Startdate X X X trelmont-ecg start unknown"};
    for (const std::time_t modified : {315532800L, 3786912000L}) {  // 1980 and 2090
        SCOPED_TRACE(modified);
        testsupport::setModificationTime("tone.wav", {modified, 0});
        ASSERT_EQ(runIn("Europe/Berlin", "--decode tone.wav old.edf"), 0);
        EXPECT_EQ(edfStart("old.edf").dateAndTime, unknown.dateAndTime);
        EXPECT_EQ(edfStart("old.edf").recording, unknown.recording);
        const testsupport::ReadBack back = testsupport::readWithBiosig("old.edf");
        EXPECT_DOUBLE_EQ(back.samplingRate, 487.5);
        EXPECT_GT(back.millivolts.size(), 8u * 487);
    }
    testsupport::setModificationTime("tone.wav", {315532800L, 0});
    ASSERT_EQ(runIn("UTC", "--decode tone.wav REC1.txt"), 0);
    const records::FactsReading facts = records::readFacts("REC1.txt");
    ASSERT_EQ(facts.status, records::FactsReading::Status::Read);
    EXPECT_FALSE(facts.facts.startMeasured);
    EXPECT_LT(facts.facts.startSeconds, 315532800.0);
    ASSERT_EQ(runIn("UTC", "--export-edf REC1.txt sent.edf"), 0);
    EXPECT_EQ(edfStart("sent.edf").dateAndTime, unknown.dateAndTime);
    EXPECT_EQ(edfStart("sent.edf").recording, unknown.recording);
    EXPECT_GT(testsupport::readWithBiosig("sent.edf").millivolts.size(), 8u * 487);
}

// A record restored from a backup beside the facts of the recording made
// after it: the facts' measured start is not the record's. The printout and
// the export give the record's own time less its duration at the facts'
// rate (975 values at 97.5 a second), as an estimate.
TEST(DecodeDates, ARecordBesideAnotherRecordingsFactsHasAnEstimatedStart) {
    testsupport::ScratchDirectory scratch;
    {
        std::ofstream record("REC.txt");
        for (int i = 0; i < 975; ++i) {
            record << 28.6 + (i % 49 == 10 ? 4.0 : 0.0) + (i % 2 == 0 ? 744.0 : -744.0) << " \n";
        }
    }
    testsupport::setModificationTime("REC.txt", {1'709'287'220, 0});  // 2024-03-01 10:00:20Z
    records::RecordingFacts later;
    later.startSeconds = 1'780'000'000.0;
    later.valuesPerSecond = 97.5;
    later.sampleRate = 399360;
    later.samplesPerBuffer = 4096;
    later.fftPoints = 4096;
    later.zeroValue = 28.6;
    later.valuesPerMillivolt = 2.74;
    later.record = records::FileIdentity{1200, std::string(64, 'b')};
    std::ofstream(records::factsPath("REC.txt")) << records::formatFacts(later);

    ASSERT_EQ(runIn("America/Los_Angeles", "--print-pdf strips.pdf"), 0);
    const std::string text = testsupport::pdfText("strips.pdf");
    EXPECT_NE(text.find("start 2024-03-01T02:00:10-08:00 (estimated)"), std::string::npos) << text;
    EXPECT_NE(text.find("duration 0:10.0"), std::string::npos) << text;

    ASSERT_EQ(runIn("America/Los_Angeles", "--export-edf REC.txt sent.edf"), 0);
    const EdfStart start = edfStart("sent.edf");
    EXPECT_EQ(start.dateAndTime, "01.03.2402.00.10");
    EXPECT_EQ(start.recording, "Startdate 01-MAR-2024 X X trelmont-ecg start estimated");
    EXPECT_DOUBLE_EQ(testsupport::readWithBiosig("sent.edf").samplingRate, 97.5);
}

}  // namespace
