#include "records/SampleFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "records/RecordBuffer.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace records {
namespace {

class SampleFileTest : public testsupport::ScratchDirectoryTest {
protected:
    static void expectClosed() {
        EXPECT_FALSE(SampleFile::isOpen());
        EXPECT_EQ(SampleFile::openCount(), 0);
    }
};

TEST_F(SampleFileTest, OpensOnlyWhileClosed) {
    EXPECT_EQ(SampleFile::fileName(), "REC.txt");

    SampleFile::openRead("REC.txt");  // no such file: stays closed
    expectClosed();
    std::string line;
    EXPECT_FALSE(SampleFile::readLine(line));

    writeFile("REC.txt", "1.000000 \n2.000000 \n");
    SampleFile::openRead("REC.txt");
    EXPECT_TRUE(SampleFile::isOpen());
    EXPECT_EQ(SampleFile::openCount(), 1);

    // While open, neither open does anything: the file is not emptied.
    SampleFile::openWrite("REC.txt");
    SampleFile::openRead("REC.txt");
    EXPECT_EQ(SampleFile::openCount(), 1);
    ASSERT_TRUE(SampleFile::readLine(line));
    EXPECT_EQ(line, "1.000000 \n");
    SampleFile::close();
    EXPECT_EQ(readFile("REC.txt"), "1.000000 \n2.000000 \n");

    // Close is idempotent.
    SampleFile::close();
    SampleFile::close();
    expectClosed();
}

TEST_F(SampleFileTest, OpenWriteEmptiesOrCreatesTheFile) {
    writeFile("REC.txt", "1.000000 \n");
    SampleFile::openWrite("REC.txt");
    EXPECT_TRUE(SampleFile::isOpen());
    SampleFile::close();
    EXPECT_EQ(readFile("REC.txt"), "");

    std::filesystem::remove("REC.txt");
    SampleFile::openWrite("REC.txt");
    SampleFile::writeText("3.000000 \n");
    SampleFile::close();
    EXPECT_EQ(readFile("REC.txt"), "3.000000 \n");
}

TEST_F(SampleFileTest, WriteOnAClosedFileAppendsToTheWorkingFile) {
    writeFile("REC.txt", "1.000000 \n");
    EXPECT_TRUE(SampleFile::writeText("2.000000 \n"));
    EXPECT_EQ(SampleFile::openCount(), 1);
    SampleFile::flush();
    EXPECT_EQ(readFile("REC.txt"), "1.000000 \n2.000000 \n");  // on disk after the flush
    SampleFile::close();

    std::filesystem::remove("REC.txt");
    EXPECT_TRUE(SampleFile::writeText("5.000000 \n"));  // created when missing
    SampleFile::close();
    EXPECT_EQ(readFile("REC.txt"), "5.000000 \n");
}

TEST_F(SampleFileTest, ReadsLinesAsFgetsWithAHundredCharacterBuffer) {
    writeFile("REC.txt", std::string(150, 'x') + "\n" + "last");
    SampleFile::openRead("REC.txt");
    std::string line;
    ASSERT_TRUE(SampleFile::readLine(line));
    EXPECT_EQ(line, std::string(99, 'x'));
    ASSERT_TRUE(SampleFile::readLine(line));
    EXPECT_EQ(line, std::string(51, 'x') + "\n");
    ASSERT_TRUE(SampleFile::readLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(SampleFile::readLine(line));

    SampleFile::rewind();  // also clears the end of file
    ASSERT_TRUE(SampleFile::readLine(line));
    EXPECT_EQ(line, std::string(99, 'x'));
}

TEST_F(SampleFileTest, DestroyingAnyHandleClosesTheFile) {
    writeFile("REC.txt", "1\n");
    {
        const SampleFile handle;
        SampleFile::openRead("REC.txt");
        const SampleFile copy = handle;
        EXPECT_TRUE(SampleFile::isOpen());
    }
    expectClosed();
}

TEST_F(SampleFileTest, CaptureAndLoadsOnTwoThreadsLoseNoLine) {
    // The capture worker appends and flushes line by line while the window
    // loads the record again and again, as scrolling during a recording does.
    constexpr int lineCount = 3000;
    std::atomic<bool> writing{true};
    std::atomic<int> loads{0};
    std::atomic<int> badLoads{0};

    SampleFile::openWrite("REC.txt");  // the first buffer of a recording
    std::thread reader([&] {
        auto record = std::make_unique<RecordBuffer>();
        while (writing) {
            record->load(SampleFile());
            loads++;
            // Every load sees a prefix of the lines, each one whole.
            for (int i = 0; i < record->count; ++i) {
                if (record->samples[static_cast<std::size_t>(i)] != i + 0.5) {
                    badLoads++;
                    break;
                }
            }
        }
    });

    int failedWrites = 0;
    for (int i = 0; i < lineCount; ++i) {
        if (i % 500 == 250) {
            // Let the reader interleave at least one load with every stretch
            // of writes, however the threads are scheduled.
            const int seen = loads.load();
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (loads.load() == seen && std::chrono::steady_clock::now() < end) {
                std::this_thread::yield();
            }
        }
        char text[valueTextSize];
        const std::size_t length = formatValue(i + 0.5, LineEnd::BlankNewline, text);
        if (!SampleFile::writeText(std::string_view(text, length))) {
            failedWrites++;
        }
        SampleFile::flush();
    }
    writing = false;
    reader.join();
    SampleFile::close();

    EXPECT_EQ(failedWrites, 0);
    EXPECT_EQ(badLoads, 0);
    EXPECT_GT(loads, 0);

    std::string expected;
    for (int i = 0; i < lineCount; ++i) {
        char text[valueTextSize];
        expected.append(text, formatValue(i + 0.5, LineEnd::BlankNewline, text));
    }
    EXPECT_EQ(readFile("REC.txt"), expected);
}

}  // namespace
}  // namespace records
