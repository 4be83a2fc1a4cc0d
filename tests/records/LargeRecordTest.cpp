// Record files that no recording makes but a disk or an editor may: a file
// of 100 MB and a single line of 10 MB are read within their bounds, in
// bounded time, and copies stay bounded by their source.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "records/RecordBuffer.h"
#include "records/RecordCopy.h"
#include "records/SampleFile.h"
#include "tests/support/ScratchDirectory.h"

namespace records {
namespace {

TEST(LargeRecord, AHundredMegabyteFileLoadsItsFirstTenThousandValues) {
    testsupport::ScratchDirectory scratch;
    {
        std::ofstream out("REC.txt", std::ios::binary);
        const std::string line = "57.250000 \n";
        for (std::size_t written = 0; written < 100u * 1024 * 1024; written += line.size()) {
            out << line;
        }
    }
    auto record = std::make_unique<RecordBuffer>();
    SampleFile::openRead(SampleFile::workingFileName);
    record->load(SampleFile{});
    EXPECT_EQ(record->count, RecordBuffer::capacity);
    EXPECT_DOUBLE_EQ(record->samples[RecordBuffer::capacity - 1], 57.25);
    EXPECT_FALSE(SampleFile::isOpen());
}

TEST(LargeRecord, ATenMegabyteLineIsReadInPiecesAndCopiedWhole) {
    testsupport::ScratchDirectory scratch;
    {
        std::ofstream out("REC.txt", std::ios::binary);
        out << std::string(10u * 1024 * 1024, '7');  // no newline at all
    }
    auto record = std::make_unique<RecordBuffer>();
    SampleFile::openRead(SampleFile::workingFileName);
    record->load(SampleFile{});
    EXPECT_GT(record->count, 0);
    EXPECT_LE(record->count, RecordBuffer::capacity);
    ASSERT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    // Every piece of 99 characters becomes one finite value: the copy is
    // bounded by the source, never by what the source claims.
    EXPECT_LT(std::filesystem::file_size("REC1.txt"), 30u * 1024 * 1024);
    const std::string copy = testsupport::readFile("REC1.txt");
    EXPECT_EQ(copy.find("inf"), std::string::npos);
    EXPECT_EQ(copy.find("nan"), std::string::npos);
}

}  // namespace
}  // namespace records
