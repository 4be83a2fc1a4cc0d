#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "records/Companion.h"
#include "records/RecordingFacts.h"
#include "records/StoredRecording.h"
#include "tests/support/ScratchDirectoryTest.h"
#include "tests/support/SyntheticRecording.h"

namespace records {
namespace {

using namespace std::chrono_literals;

// The most memory this process has held since the last reset, in kB
// (VmHWM), or -1 where the system does not say.
long long peakKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return -1;
}

bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

class OversizedLineTest : public testsupport::ScratchDirectoryTest {};

// A companion or facts file of 100 MB without a single newline (a disk
// error, a file from elsewhere): every reader gives up on the first line
// longer than a line can be, at once and without holding it in memory.
TEST_F(OversizedLineTest, AHundredMegabyteLineIsRefusedWithoutBeingRead) {
    constexpr std::size_t size = 100u << 20;
    {
        std::FILE* out = std::fopen("long.txt", "w");
        ASSERT_NE(out, nullptr);
        const std::string block(1u << 20, '5');
        for (std::size_t written = 0; written < size; written += block.size()) {
            ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), out), block.size());
        }
        ASSERT_EQ(std::fclose(out), 0);
    }
    struct Case {
        const char* name;
        bool facts;      // the recording's complete facts are there
        bool longFacts;  // the facts file is the long line
        bool companion;  // whether the reader finds a companion
    };
    const Case cases[] = {
        {"companion named by the facts", true, false, false},
        {"companion without facts", false, false, false},
        {"facts", false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(testsupport::storeRecording("REC.txt", testsupport::makeLines(60)));
        if (!c.facts) {
            std::remove("REC.info.txt");
        }
        const std::string longFile = c.longFacts ? "REC.info.txt" : "REC.hr.txt";
        std::remove(longFile.c_str());
        ASSERT_EQ(::link("long.txt", longFile.c_str()), 0);

        ASSERT_TRUE(resetPeak());
        const long long peakBefore = peakKilobytes();
        const auto start = std::chrono::steady_clock::now();
        StoredRecording recording;
        EXPECT_EQ(readRecording("REC.txt", Inference{}, recording), "");
        EXPECT_EQ(recording.values.size(), 60u);
        EXPECT_EQ(!recording.companion.empty(), c.companion);
        if (c.longFacts) {
            EXPECT_FALSE(recording.hasFacts);
            const FactsReading facts = readFacts("REC.txt");
            EXPECT_EQ(facts.status, FactsReading::Status::Unusable);
            EXPECT_NE(facts.reason.find("REC.info.txt"), std::string::npos) << facts.reason;
        } else {
            EXPECT_TRUE(readCompanion("REC.hr.txt", 1'000'000).empty());
        }
        const auto took = std::chrono::steady_clock::now() - start;
        // The facts' identity of a companion is its SHA-256, taken as the
        // file streams past: the one read of the whole file. The bound is for
        // a reader that hangs or rereads, not a speed (a loaded machine
        // running the sanitizers takes seconds).
        EXPECT_LT(took, 20s);
        EXPECT_LT(peakKilobytes() - peakBefore, 8 * 1024);
        std::remove(longFile.c_str());
    }
}

}  // namespace
}  // namespace records
