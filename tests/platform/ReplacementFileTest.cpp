#include "platform/ReplacementFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/RegularFile.h"
#include "tests/support/ScratchDirectoryTest.h"

namespace platform {
namespace {

using Names = std::vector<std::string>;
using Step = ReplacementFile::Step;

class ReplacementFileTest : public testsupport::ScratchDirectoryTest {
protected:
    void TearDown() override {
        ReplacementFile::failStepForTests(std::nullopt);
        ScratchDirectoryTest::TearDown();
    }
};

TEST_F(ReplacementFileTest, OnlyACommittedVersionTakesThePlace) {
    writeFile("REC.txt", "old\n");
    {
        ReplacementFile abandoned("REC.txt", "tmp.txt");
        abandoned.write("new\n");
    }
    EXPECT_EQ(readFile("REC.txt"), "old\n");
    EXPECT_EQ(entries(), (Names{"REC.txt"}));
    {
        ReplacementFile file("REC.txt", "tmp.txt");
        ASSERT_TRUE(file.isOpen());
        file.write("1.000000\n");
        file.write("2.000000\n");
        EXPECT_EQ(readFile("REC.txt"), "old\n");
        EXPECT_EQ(file.commit(), "");
        EXPECT_EQ(file.failure(), "");
    }
    EXPECT_EQ(readFile("REC.txt"), "1.000000\n2.000000\n");
    EXPECT_EQ(entries(), (Names{"REC.txt"}));
}

TEST_F(ReplacementFileTest, StaleLinkAtTheTemporaryNameIsNotWrittenThrough) {
    writeFile("REC.txt", "old\n");
    writeFile("other.txt", "keep\n");
    std::filesystem::create_symlink("other.txt", "tmp.txt");
    ReplacementFile file("REC.txt", "tmp.txt");
    file.write("new\n");
    EXPECT_EQ(file.commit(), "");
    EXPECT_EQ(readFile("REC.txt"), "new\n");
    EXPECT_FALSE(std::filesystem::is_symlink("REC.txt"));
    EXPECT_EQ(readFile("other.txt"), "keep\n");
    EXPECT_EQ(entries(), (Names{"REC.txt", "other.txt"}));
}

TEST_F(ReplacementFileTest, FailedRenameKeepsTheTargetAndRemovesTheTemporary) {
    // An empty folder cannot be renamed over, but could be deleted first.
    std::filesystem::create_directory("target");
    ReplacementFile file("target", "tmp.txt");
    file.write("new\n");
    EXPECT_NE(file.commit().find("target"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory("target"));
    EXPECT_EQ(entries(), (Names{"target"}));
}

// Whichever step fails, with the program's own temporary name or a fresh
// one, written through the object or by name: the target keeps every byte
// and its time, the reason names the failure, and nothing is left beside it.
TEST_F(ReplacementFileTest, AFailureAtAnyStepLeavesTheTargetAsItWas) {
    const std::string old = "57.200000 \n-686.800000 \n801.200000 \n";
    for (const Step step : {Step::Open, Step::Write, Step::Sync, Step::Rename}) {
        for (const bool ownTemporary : {true, false}) {
            for (const bool byName : {false, true}) {
                if (byName && step == Step::Write) {
                    continue;  // a writer by name reports its own write failures
                }
                SCOPED_TRACE(testing::Message() << "step " << static_cast<int>(step) << ", own "
                                                << ownTemporary << ", by name " << byName);
                writeFile("REC.txt", old);
                const std::timespec stored{1'700'000'000, 250'000'000};
                const std::timespec times[2] = {stored, stored};
                ASSERT_EQ(::utimensat(AT_FDCWD, "REC.txt", times, 0), 0);
                ReplacementFile::failStepForTests(step, ENOSPC);
                std::string reason;
                {
                    auto file = ownTemporary
                                    ? std::make_unique<ReplacementFile>("REC.txt", "RECf.txt")
                                    : std::make_unique<ReplacementFile>("REC.txt");
                    file->keepTime({1'800'000'000, 0});
                    if (byName && file->isOpen()) {
                        std::ofstream(file->temporaryPath(), std::ios::trunc) << "1.0\n2.0\n";
                    } else {
                        file->write("1.0\n2.0\n");
                    }
                    reason = file->commit();
                }
                ReplacementFile::failStepForTests(std::nullopt);
                EXPECT_NE(reason.find("No space left on device"), std::string::npos) << reason;
                EXPECT_EQ(readFile("REC.txt"), old);
                struct stat info {};
                ASSERT_EQ(::stat("REC.txt", &info), 0);
                EXPECT_EQ(info.st_mtim.tv_sec, stored.tv_sec);
                EXPECT_EQ(info.st_mtim.tv_nsec, stored.tv_nsec);
                EXPECT_EQ(entries(), (Names{"REC.txt"}));
            }
        }
    }
}

// What a writer by name puts into the temporary file is what arrives, with
// the time asked for, readable as any new file.
TEST_F(ReplacementFileTest, AFileWrittenByNameIsCommittedWithItsTime) {
    writeFile("out.edf", "old");
    ReplacementFile file("out.edf");
    ASSERT_TRUE(file.isOpen());
    EXPECT_NE(file.temporaryPath(), "out.edf");
    std::ofstream(file.temporaryPath(), std::ios::trunc) << "written by name";
    file.keepTime({1'800'000'000, 5});
    EXPECT_EQ(file.commit(), "");
    EXPECT_EQ(readFile("out.edf"), "written by name");
    struct stat info {};
    ASSERT_EQ(::stat("out.edf", &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1'800'000'000);
    EXPECT_EQ(info.st_mtim.tv_nsec, 5);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(entries(), (Names{"out.edf"}));
}

// A file only its owner may read stays so when it is replaced, whether the
// new version is written through this object or by name (EDFlib creates
// the file anew), under a umask that gives others read access; a new file
// made from such a source is no wider either.
TEST_F(ReplacementFileTest, TheNewVersionIsNoWiderThanTheFileItReplaces) {
    const mode_t previous = ::umask(022);
    for (const bool byName : {false, true}) {
        SCOPED_TRACE(byName ? "written by name" : "written through the object");
        writeFile("private.txt", "old\n");
        ASSERT_EQ(::chmod("private.txt", 0600), 0);
        ReplacementFile file("private.txt");
        if (byName) {
            std::ofstream(file.temporaryPath(), std::ios::trunc) << "new\n";
        } else {
            file.write("new\n");
        }
        EXPECT_EQ(file.commit(), "");
        struct stat info {};
        ASSERT_EQ(::stat("private.txt", &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
    writeFile("source.txt", "old\n");
    ASSERT_EQ(::chmod("source.txt", 0600), 0);
    ReplacementFile copy("copy.txt", "copy.part");
    copy.limitModeTo("source.txt");
    copy.write("new\n");
    EXPECT_EQ(copy.commit(), "");
    ::umask(previous);
    EXPECT_EQ(platform::permissionBits("copy.txt"), 0600);
}

// The new version is no wider open than it will end from its creation on:
// the file it replaces and the sources given are known before it is made, a
// source named later narrows it at once; under a umask that gives others
// read access.
TEST_F(ReplacementFileTest, TheTemporaryIsNeverWiderOpenThanTheNewVersion) {
    const mode_t previous = ::umask(022);
    writeFile("private.txt", "old\n");
    writeFile("source.txt", "old\n");
    ASSERT_EQ(::chmod("private.txt", 0600), 0);
    ASSERT_EQ(::chmod("source.txt", 0640), 0);
    ReplacementFile replacing("private.txt", "private.part");
    EXPECT_EQ(permissionBits(replacing.temporaryPath()), 0600);
    ReplacementFile fromSource("copy.txt", ReplacementFile::ModeSources{"source.txt"});
    EXPECT_EQ(permissionBits(fromSource.temporaryPath()), 0640);
    ReplacementFile namedLater("later.txt");
    EXPECT_EQ(permissionBits(namedLater.temporaryPath()), 0644);
    namedLater.limitModeTo("private.txt");
    EXPECT_EQ(permissionBits(namedLater.temporaryPath()), 0600);
    ::umask(previous);
}

}  // namespace
}  // namespace platform
