#include "records/RecordCopy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ScratchDirectoryTest.h"

namespace records {
namespace {

using Names = std::vector<std::string>;

class RecordCopyTest : public testsupport::ScratchDirectoryTest {};

TEST_F(RecordCopyTest, NormalisesEveryLine) {
    writeFile("REC.txt", "1.5\n-2\r\n57.200000 \nabc\n\n800.875000\n");
    EXPECT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    EXPECT_EQ(readFile("REC1.txt"),
              "1.500000 \n-2.000000 \n57.200000 \n0.000000 \n0.000000 \n800.875000 \n");
    EXPECT_EQ(readFile("REC.txt"), "1.5\n-2\r\n57.200000 \nabc\n\n800.875000\n");
    EXPECT_EQ(entries(), (Names{"REC.txt", "REC1.txt"}));

    // Long lines are copied in the pieces a load reads.
    writeFile("REC.txt", "5" + std::string(98, ' ') + "7\n");
    EXPECT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    EXPECT_EQ(readFile("REC1.txt"), "5.000000 \n7.000000 \n");
}

TEST_F(RecordCopyTest, EmptySourceEmptiesTheDestination) {
    writeFile("REC.txt", "");
    writeFile("REC1.txt", "1.000000 \n");
    EXPECT_TRUE(copyRecordFile("REC1.txt", "REC.txt"));
    EXPECT_TRUE(exists("REC1.txt"));
    EXPECT_EQ(readFile("REC1.txt"), "");
    EXPECT_EQ(entries(), (Names{"REC.txt", "REC1.txt"}));
}

TEST_F(RecordCopyTest, MissingSourceLeavesTheDestinationAlone) {
    // The first stop at start-up copies a working file that may not exist
    // yet: the recording kept in slot 1 must survive it.
    writeFile("REC1.txt", "1.000000 \n2.000000 \n");
    EXPECT_FALSE(copyRecordFile("REC1.txt", "REC.txt"));
    EXPECT_EQ(readFile("REC1.txt"), "1.000000 \n2.000000 \n");
    EXPECT_EQ(entries(), (Names{"REC1.txt"}));

    // Loading a slot that was never written leaves the working file alone.
    writeFile("REC.txt", "3.000000 \n");
    EXPECT_FALSE(copyRecordFile("REC.txt", "REC7.txt"));
    EXPECT_EQ(readFile("REC.txt"), "3.000000 \n");
    EXPECT_EQ(entries(), (Names{"REC.txt", "REC1.txt"}));
}

TEST_F(RecordCopyTest, UnwritableDestinationFailsCleanly) {
    writeFile("REC.txt", "1.000000 \n");
    EXPECT_FALSE(copyRecordFile("no-such-folder/REC1.txt", "REC.txt"));
    EXPECT_EQ(entries(), (Names{"REC.txt"}));
}

TEST_F(RecordCopyTest, CopyBackAndForthKeepsTheValues) {
    writeFile("REC.txt", "57.2\n-687.125\n");
    ASSERT_TRUE(copyRecordFile("REC0.txt", "REC.txt"));
    ASSERT_TRUE(copyRecordFile("REC.txt", "REC0.txt"));
    EXPECT_EQ(readFile("REC.txt"), "57.200000 \n-687.125000 \n");
    EXPECT_EQ(readFile("REC0.txt"), readFile("REC.txt"));
    EXPECT_EQ(entries(), (Names{"REC.txt", "REC0.txt"}));
}

}  // namespace
}  // namespace records
