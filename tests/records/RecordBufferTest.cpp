#include "records/RecordBuffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "records/SampleFile.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace records {
namespace {

class RecordBufferTest : public testsupport::ScratchDirectoryTest {
protected:
    // Loads the working file as the program does, with a fresh handle.
    void load() { record_->load(SampleFile()); }

    void expectFillFrom(int first) const {
        for (int i = first; i < RecordBuffer::capacity; ++i) {
            ASSERT_EQ(record_->samples[static_cast<std::size_t>(i)], 57.2) << i;
        }
    }

    void expectLoaded(const std::vector<double>& values) const {
        ASSERT_EQ(record_->count, static_cast<int>(values.size()));
        for (std::size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(record_->samples[i], values[i]) << i;
        }
        expectFillFrom(record_->count);
        EXPECT_FALSE(SampleFile::isOpen());
        EXPECT_EQ(SampleFile::openCount(), 0);
    }

    std::unique_ptr<RecordBuffer> record_ = std::make_unique<RecordBuffer>();
};

TEST_F(RecordBufferTest, BothLineFormsAndBothLineBreaksLoadAlike) {
    const std::vector<double> values{57.2, 800.875, -687.125, 0.0, 1e-6, 123456.5};
    for (const char* lineEnd : {" \n", "\n", " \r\n", "\r\n"}) {
        std::string content;
        for (double value : values) {
            char text[64];
            std::snprintf(text, sizeof text, "%f%s", value, lineEnd);
            content += text;
        }
        writeFile("REC.txt", content);
        load();
        SCOPED_TRACE(testing::Message() << "line end " << testing::PrintToString(lineEnd));
        expectLoaded(values);
    }
}

TEST_F(RecordBufferTest, LinesWithoutANumberCountAsZero) {
    writeFile("REC.txt", "1.5\n\nabc\n   \n-2.25xyz\n2.5");  // the last line has no break
    load();
    expectLoaded({1.5, 0.0, 0.0, 0.0, -2.25, 2.5});

    writeFile("REC.txt", "nan\ninf\n-inf\n1e999\n1e-999\n7\n");
    load();
    expectLoaded({0.0, 0.0, 0.0, 0.0, 0.0, 7.0});
    for (int i = 0; i < record_->count; ++i) {
        EXPECT_TRUE(std::isfinite(record_->samples[static_cast<std::size_t>(i)]));
    }
}

TEST_F(RecordBufferTest, AtMostTenThousandLinesLoad) {
    std::string content;
    for (int i = 0; i < 10001; ++i) {
        content += std::to_string(i) + ".000000 \n";
    }
    writeFile("REC.txt", content);
    load();
    ASSERT_EQ(record_->count, 10000);
    EXPECT_EQ(record_->samples[0], 0.0);
    EXPECT_EQ(record_->samples[9999], 9999.0);
    EXPECT_FALSE(SampleFile::isOpen());
}

TEST_F(RecordBufferTest, LongLinesAreReadInPiecesOf99Characters) {
    // 99 characters fill one read; the rest of the line is the next piece.
    const std::string piece1 = "5" + std::string(98, ' ');
    const std::string piece2 = "7" + std::string(98, ' ');
    writeFile("REC.txt", piece1 + piece2 + "9\n" + "4\n");
    load();
    expectLoaded({5.0, 7.0, 9.0, 4.0});

    // A line of exactly 99 characters leaves its line break for a second,
    // empty piece; 98 characters and the break fit in one read.
    writeFile("REC.txt", "1" + std::string(98, '0') + "\n" + "3" + std::string(97, ' ') + "\n");
    load();
    expectLoaded({1e98, 0.0, 3.0});
}

TEST_F(RecordBufferTest, MissingOrEmptyFileLoadsNothing) {
    writeFile("REC.txt", "1\n2\n3\n");
    load();
    ASSERT_EQ(record_->count, 3);

    std::filesystem::remove("REC.txt");
    load();
    expectLoaded({});

    writeFile("REC.txt", "");
    load();
    expectLoaded({});
}

TEST_F(RecordBufferTest, LoadUsesAnOpenWorkingFileFromItsStartAndClosesIt) {
    writeFile("REC.txt", "1\n2\n3\n");
    SampleFile::openRead("REC.txt");
    std::string line;
    ASSERT_TRUE(SampleFile::readLine(line));  // the position is past the first line
    load();
    expectLoaded({1.0, 2.0, 3.0});

    // Open for writing by a capture: what has been written, flushed or not,
    // is read back.
    SampleFile::openWrite("REC.txt");
    SampleFile::writeText("10.500000 \n11.500000 \n");
    load();
    expectLoaded({10.5, 11.5});
    EXPECT_EQ(readFile("REC.txt"), "10.500000 \n11.500000 \n");

    // The next write after a load appends to the file again.
    SampleFile::writeText("12.500000 \n");
    SampleFile::flush();
    load();
    expectLoaded({10.5, 11.5, 12.5});
}

}  // namespace
}  // namespace records
