#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "records/EdfExport.h"
#include "records/RecordingFacts.h"
#include "tests/support/EdfReadBack.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SyntheticRecording.h"

namespace records {
namespace {

// Buffers the sound input lost travel with the facts, and SAVE's stretch
// keeps them in place; a list that names a loss not among the skipped
// buffers is not trusted. The EDF+ tells them from a change of strip at the
// same place: three buffers skipped after line 10, two of them lost; two
// after line 20, one lost.
TEST(DroppedBuffers, TravelWithTheFactsAndAreToldFromAChangeOfStrip) {
    testsupport::ScratchDirectory scratch;
    ASSERT_TRUE(testsupport::storeValues("REC.txt", testsupport::makeLines(30).values));
    ASSERT_TRUE(testsupport::storeFacts("REC.txt"));
    RecordingFacts facts = readFacts("REC.txt").facts;
    facts.skippedAfterLines = {0, 10, 10, 10, 20, 20};
    facts.droppedAfterLines = {10, 10, 20};
    facts.companion.reset();
    ASSERT_TRUE(testsupport::writeBytes(factsPath("REC.txt"), formatFacts(facts)));
    const FactsReading read = readFacts("REC.txt");
    ASSERT_EQ(read.status, FactsReading::Status::Read) << read.reason;
    EXPECT_EQ(read.facts.droppedAfterLines, facts.droppedAfterLines);
    EXPECT_EQ(facts.stretch(5, 19).droppedAfterLines, (std::vector<long long>{5, 5}));

    ASSERT_EQ(EdfExport(199680, 4096).write("REC.txt", "out.edf"), "");
    const testsupport::ReadBack edf = testsupport::readWithBiosig("out.edf");
    const double line = 1.0 / 48.75;
    ASSERT_EQ(edf.lost.size(), 2u);
    ASSERT_EQ(edf.bridges.size(), 2u);
    EXPECT_NEAR(edf.lost[0].first, 10 * line, 1e-3);
    EXPECT_NEAR(edf.lost[0].second, 2 * line, 1e-3);
    EXPECT_NEAR(edf.bridges[0].first, 12 * line, 1e-3);
    EXPECT_NEAR(edf.bridges[0].second, line, 1e-3);
    EXPECT_NEAR(edf.bridges[1].first, 24 * line, 1e-3);

    facts.droppedAfterLines = {10, 10, 10, 10};
    EXPECT_EQ(parseFacts(formatFacts(facts)).status, FactsReading::Status::Unusable);
}

// Facts from outside whose rate or scale no setting has are not trusted:
// a rate of 1e-300 values a second once made a printout of a few lines
// take ten gigabytes and never end.
TEST(FactsFromOutside, ARateOrScaleNoSettingHasIsRefused) {
    const RecordingFacts good = testsupport::defaultFacts();
    ASSERT_EQ(parseFacts(formatFacts(good)).status, FactsReading::Status::Read);
    const struct {
        const char* what;
        void (*change)(RecordingFacts&);
    } cases[] = {
        {"a vanishing rate", [](RecordingFacts& f) { f.valuesPerSecond = 1e-300; }},
        {"a rate that is not the settings'", [](RecordingFacts& f) { f.valuesPerSecond = 50.0; }},
        {"settings of no rate",
         [](RecordingFacts& f) {
             f.sampleRate = 1;
             f.samplesPerBuffer = 1 << 30;
             f.valuesPerSecond = 1.0 / (1 << 30);
         }},
        {"a vanishing scale", [](RecordingFacts& f) { f.valuesPerMillivolt = 1e-300; }},
        {"no zero",
         [](RecordingFacts& f) { f.zeroValue = std::numeric_limits<double>::infinity(); }},
    };
    for (const auto& c : cases) {
        RecordingFacts facts = good;
        c.change(facts);
        EXPECT_EQ(parseFacts(formatFacts(facts)).status, FactsReading::Status::Unusable) << c.what;
    }
}

}  // namespace
}  // namespace records
