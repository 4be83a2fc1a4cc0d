#include "records/RecordEncoding.h"

#include <gtest/gtest.h>

#include <vector>

namespace records {
namespace {

TEST(RecordEncodingTest, CaptureMarkerComesOffEitherSign) {
    EXPECT_NEAR(decodeValue(801.3, Encoding::Capture744), 57.3, 1e-9);
    EXPECT_NEAR(decodeValue(-686.7, Encoding::Capture744), 57.3, 1e-9);
    EXPECT_EQ(decodeValue(801.3, Encoding::Plain), 801.3);
    // The plain band includes its limits under either marker.
    for (const Encoding encoding : {Encoding::Capture744, Encoding::Filter1000}) {
        EXPECT_EQ(decodeValue(372.0, encoding), 372.0);
        EXPECT_EQ(decodeValue(-372.0, encoding), -372.0);
    }
}

TEST(RecordEncodingTest, FilteredRecordDecodesToTheFilteredValues) {
    // Detrended output lies around the base level, dips below zero included.
    const std::vector<double> filtered = {57.2, 60.5, 48.125, 57.2, 90.0, -3.0, 0.0, 57.2};
    // A record cut by a partial save may begin on either sign.
    for (const int parity : {0, 1}) {
        std::vector<double> stored;
        for (std::size_t i = 0; i < filtered.size(); ++i) {
            stored.push_back(filtered[i] + ((i + parity) % 2 == 0 ? 1000.0 : -1000.0));
        }
        EXPECT_EQ(detectEncoding(stored), Encoding::Filter1000);
        EXPECT_EQ(decodeRecord(stored), Encoding::Filter1000);
        for (std::size_t i = 0; i < filtered.size(); ++i) {
            EXPECT_NEAR(stored[i], filtered[i], 1e-9) << "line " << i << " parity " << parity;
        }
    }
}

TEST(RecordEncodingTest, CaptureAndPlainRecords) {
    std::vector<double> stored = {57.2, 801.3, 58.0, -686.7, 70.0, 44.0 + 744.0, 57.2};
    const std::vector<double> expected = {57.2, 57.3, 58.0, 57.3, 70.0, 44.0, 57.2};
    EXPECT_EQ(decodeRecord(stored), Encoding::Capture744);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(stored[i], expected[i], 1e-9) << "line " << i;
    }

    std::vector<double> plain = {57.2, -372.0, 372.0, 0.0, 100.5};
    EXPECT_EQ(decodeRecord(plain), Encoding::Plain);
    EXPECT_EQ(plain, (std::vector<double>{57.2, -372.0, 372.0, 0.0, 100.5}));
    EXPECT_EQ(detectEncoding({}), Encoding::Plain);
}

}  // namespace
}  // namespace records
