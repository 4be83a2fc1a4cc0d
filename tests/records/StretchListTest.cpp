#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "acquisition/ToneDecoder.h"
#include "records/DecodedOutput.h"
#include "records/RecordingCommit.h"
#include "records/RecordingFacts.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"
#include "tests/support/ToneFiles.h"

namespace records {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesHere() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// The most stretches without tone a day can hold (a second without, a
// second with, for 24 hours: 43,200) are written on one line and read back
// whole, beside a list of doubtful stretches; a list beyond what any reader takes is refused before
// it is written, and the recording stays as it was.
TEST(StretchList, TheLongestDayIsWrittenAndReadBackAndMoreIsRefused) {
    testsupport::ScratchDirectory scratch;
    ASSERT_TRUE(testsupport::storeRecording("REC.txt", testsupport::makeLines(30)));
    const std::string before = testsupport::readFile("REC.info.txt");

    RecordingFacts day = testsupport::defaultFacts();
    for (long long k = 0; k < 43'200; ++k) {
        day.linesWithoutTone.emplace_back(k * 98 + 49, 49);
    }
    for (long long k = 0; k < 1000; ++k) {
        day.linesWithDoubtfulTone.emplace_back(k * 98 + 10, 25);
    }
    {
        RecordingCommit commit("day.txt");
        commit.record().write("801.200000 \n");
        commit.setFacts(day);
        ASSERT_EQ(commit.commit(), "");
    }
    const FactsReading read = readFacts("day.txt");
    ASSERT_EQ(read.status, FactsReading::Status::Read) << read.reason;
    EXPECT_EQ(read.facts.linesWithoutTone, day.linesWithoutTone);
    EXPECT_EQ(read.facts.linesWithDoubtfulTone, day.linesWithDoubtfulTone);
    // A kept stretch cuts both lists alike at its ends.
    const RecordingFacts kept = read.facts.stretch(20, 120);
    using Stretches = std::vector<std::pair<long long, long long>>;
    EXPECT_EQ(kept.linesWithoutTone, (Stretches{{29, 49}}));
    EXPECT_EQ(kept.linesWithDoubtfulTone, (Stretches{{0, 15}, {88, 13}}));

    RecordingFacts more = day;
    for (long long k = 0; k < 60'000; ++k) {
        more.linesWithoutTone.emplace_back(10'000'000'000LL + k * 98, 49);
    }
    RecordingCommit commit("REC.txt");
    commit.record().write("801.200000 \n");
    commit.setFacts(more);
    const std::string reason = commit.commit();
    EXPECT_NE(reason.find("REC.info.txt"), std::string::npos) << reason;
    EXPECT_EQ(testsupport::readFile("REC.info.txt"), before);
}

// --decode to a record stops before the record would hold more lines than
// every reader takes, says to decode to EDF+ instead, and leaves nothing;
// under the limit the same file is decoded.
TEST(StretchList, ARecordLongerThanEveryReaderTakesIsNotWritten) {
    testsupport::ScratchDirectory scratch;
    testsupport::writeWav("tone.wav", 8000, 1,
                          testsupport::simulatorTone(acquisition::HeartSignal{}, 8000, 8.0));
    const std::vector<std::string> before = filesHere();
    acquisition::DecodeRequest request;
    request.tonePath = "tone.wav";
    request.now = 2e9;
    for (const long long limit : {200LL, 1000LL}) {
        SCOPED_TRACE("at most " + std::to_string(limit) + " lines");
        acquisition::DecodeResult result;
        {
            DecodedRecordFiles out("long.txt", "tone.wav", true, std::nullopt, limit);
            result = acquisition::decodeToneFile(request, out);
        }
        if (limit < 300) {
            EXPECT_EQ(result.status, acquisition::DecodeResult::Status::Failed);
            EXPECT_NE(result.message.find(".edf"), std::string::npos) << result.message;
            EXPECT_EQ(filesHere(), before);
        } else {
            EXPECT_EQ(result.status, acquisition::DecodeResult::Status::Written) << result.message;
            EXPECT_GT(result.lines, 300);
        }
    }
}

}  // namespace
}  // namespace records
