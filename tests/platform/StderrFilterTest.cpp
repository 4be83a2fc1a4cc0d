#include "platform/StderrFilter.h"

#include <gtest/gtest.h>

#include <string>

namespace platform {
namespace {

using Verdict = StderrFilter::Counter::Verdict;

const std::string libraryLine =
    "Expression 'alsa_snd_pcm_prepare( stream->capture.pcm )' failed in "
    "'src/hostapi/alsa/pa_linux_alsa.c', line: 2932\n";

// The sound library's failure lines pass until the bound, the last one with
// a note, and none after it; every other line passes all along.
TEST(StderrFilterTest, PassesTheLibrarysFailuresUpToTheBoundAndEverythingElse) {
    StderrFilter::Counter counter;
    EXPECT_EQ(counter.judge("QStandardPaths: XDG_RUNTIME_DIR not set\n"), Verdict::pass);
    for (int i = 1; i < StderrFilter::passedLibraryLines; ++i) {
        ASSERT_EQ(counter.judge(libraryLine), Verdict::pass) << i;
    }
    EXPECT_EQ(counter.judge(libraryLine), Verdict::passWithNote);
    for (int i = 0; i < 100000; ++i) {
        ASSERT_EQ(counter.judge(libraryLine), Verdict::drop) << i;
    }
    EXPECT_EQ(counter.judge("[Recorder] The sound input stopped delivering\n"), Verdict::pass);
    // Lines that merely mention an expression are the program's own.
    EXPECT_EQ(counter.judge("Expression 'x' was fine\n"), Verdict::pass);
    EXPECT_EQ(counter.judge("  Expression 'x' failed in 'y'\n"), Verdict::pass);
}

}  // namespace
}  // namespace platform
