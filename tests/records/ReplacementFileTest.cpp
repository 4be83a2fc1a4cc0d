#include "records/ReplacementFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDirectoryTest.h"

namespace records {
namespace {

using Names = std::vector<std::string>;

class ReplacementFileTest : public ScratchDirectoryTest {};

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

}  // namespace
}  // namespace records
