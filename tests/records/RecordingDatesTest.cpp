// A recording's start in other time zones than the test machine's, starts
// that EDF+ cannot hold, and the undo's copies of long records.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "records/EdfStream.h"
#include "records/RecordingFacts.h"
#include "records/UndoStore.h"
#include "tests/support/ScratchDirectory.h"

namespace records {
namespace {

// The process's time zone is `zone` while this lives.
class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        const char* previous = std::getenv("TZ");
        previous_ = previous != nullptr ? std::optional<std::string>(previous) : std::nullopt;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~LocalZone() {
        if (previous_) {
            ::setenv("TZ", previous_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }
    LocalZone(const LocalZone&) = delete;
    LocalZone& operator=(const LocalZone&) = delete;

private:
    std::optional<std::string> previous_;
};

double now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A start as the facts write it and read it back, where the offset is not
// a whole hour or lies west of Greenwich, in winter and in summer.
TEST(RecordingDates, FactsStartsKeepTheirOffsetAndTheirMilliseconds) {
    // 2026-12-09T16:15:02.125Z and 2026-07-15T03:00:00.875Z
    const double winter = 1796832902.125;
    const double summer = 1784084400.875;
    const struct {
        const char* zone;
        double start;
        const char* text;
    } cases[] = {
        {"Asia/Kolkata", winter, "2026-12-09T21:45:02.125+05:30"},
        {"America/Los_Angeles", winter, "2026-12-09T08:15:02.125-08:00"},
        {"America/Los_Angeles", summer, "2026-07-14T20:00:00.875-07:00"},
    };
    for (const auto& c : cases) {
        const LocalZone zone(c.zone);
        EXPECT_EQ(isoTimeWithMilliseconds(c.start), c.text) << c.zone;
        const std::optional<double> back = parseIsoTime(isoTimeWithMilliseconds(c.start));
        ASSERT_TRUE(back) << c.zone;
        EXPECT_EQ(std::llround(*back * 1000), std::llround(c.start * 1000)) << c.zone;
    }
    // Read in any zone, a text means the one instant its offset gives.
    const LocalZone zone("Europe/Berlin");
    EXPECT_EQ(parseIsoTime("2026-12-09T08:15:02.125-08:00"), winter);
    EXPECT_EQ(parseIsoTime("2026-12-09T21:45:02.125+05:30"), winter);
    EXPECT_EQ(parseIsoTime("2026-12-09T16:15:02.125Z"), winter);
}

struct Header {
    std::string date;
    std::string time;
    std::string recording;
};

// Writes a short EDF+ starting at `start` and reads back its header.
Header edfStartingAt(double start, bool measured = true) {
    EdfStream::Signal signal;
    EdfStream edf("start.edf", signal, start, measured, "start.edf");
    edf.append(0.5);
    EXPECT_EQ(edf.finish(1.0), "");
    const std::string bytes = testsupport::readFile("start.edf");
    if (bytes.size() < 256) {
        ADD_FAILURE() << "no header in start.edf";
        return {};
    }
    return {bytes.substr(168, 8), bytes.substr(176, 8), bytes.substr(88, 80)};
}

std::string field(const std::string& text) {
    return text + std::string(80 - text.size(), ' ');
}

// EDF+ holds the years 1985 to 2084 in local time: the last half hour of
// 1984 in UTC is 1985 in Berlin but not in Los Angeles. A start a little
// ahead of this machine's clock is another clock's; two days ahead is none.
TEST(RecordingDates, AStartEdfCannotHoldIsUnknown) {
    const testsupport::ScratchDirectory scratch;
    const double lastHalfHourOf1984 = 473383800;  // 1984-12-31T23:30:00Z
    const Header unknown{"01.01.85", "00.00.00",
                         field("Startdate X X X trelmont-ecg start unknown")};
    {
        const LocalZone zone("Europe/Berlin");
        const Header berlin = edfStartingAt(lastHalfHourOf1984, false);
        EXPECT_EQ(berlin.date + berlin.time, "01.01.8500.30.00");
        EXPECT_EQ(berlin.recording,
                  field("Startdate 01-JAN-1985 X X trelmont-ecg start estimated"));
    }
    const LocalZone zone("America/Los_Angeles");
    for (const double start : {lastHalfHourOf1984, now() + 2 * 86400.0, -1.0, std::nan("")}) {
        const Header header = edfStartingAt(start);
        EXPECT_EQ(header.date, unknown.date) << start;
        EXPECT_EQ(header.time, unknown.time) << start;
        EXPECT_EQ(header.recording, unknown.recording) << start;
    }
    const double inAnHour = std::floor(now()) + 3600.0;
    const std::time_t t = static_cast<std::time_t>(inAnHour);
    std::tm local{};
    localtime_r(&t, &local);
    char expected[20];
    std::strftime(expected, sizeof expected, "%d.%m.%y%H.%M.%S", &local);
    const Header ahead = edfStartingAt(inAnHour);
    EXPECT_EQ(ahead.date + ahead.time, expected);
    EXPECT_EQ(ahead.recording.rfind("Startdate X", 0), std::string::npos) << ahead.recording;
}

long long kilobytes(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(key + ":", 0) == 0) {
            return std::stoll(line.substr(key.size() + 1));
        }
    }
    return -1;
}

// Keeping a record of 32 MB and its companion of 32 MB for an undo takes no
// memory to speak of: the files are hashed and copied a piece at a time. A
// facts file longer than facts can be is not read whole: the change is
// refused, and nothing is kept.
TEST(RecordingDates, TheUndoCopiesLongRecordsInPieces) {
    const testsupport::ScratchDirectory scratch(testsupport::ScratchDirectory::memoryBase());
    {
        std::string lines;
        for (int line = 0; line < 1 << 16; ++line) {
            lines += "57.200000 \n";
        }
        std::ofstream record("REC.txt", std::ios::binary);
        std::ofstream companion("REC.hr.txt", std::ios::binary);
        for (int i = 0; i < 45; ++i) {
            record << lines;
            companion << lines;
        }
    }
    std::ofstream("/proc/self/clear_refs") << "5";  // the highest resident size from here on
    const long long resident = kilobytes("VmRSS");
    ASSERT_EQ(UndoStore::keep(UndoStore::noSlot), "");
    const long long grown = kilobytes("VmHWM") - resident;
    std::printf("keeping 2 x 32 MB took %lld kB more at most\n", grown);
    EXPECT_LT(grown, 16 * 1024);
    EXPECT_EQ(currentState(UndoStore::recordCopyName), currentState("REC.txt"));

    std::ofstream(factsPath("REC.txt")) << std::string(maxFactsLength + 1, '#');
    EXPECT_NE(UndoStore::keep(UndoStore::noSlot).find("longer than facts can be"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(UndoStore::recordCopyName));
}

}  // namespace
}  // namespace records
