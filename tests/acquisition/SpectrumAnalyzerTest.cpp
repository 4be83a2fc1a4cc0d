#include "acquisition/SpectrumAnalyzer.h"

#include <gtest/gtest.h>

namespace acquisition {
namespace {

TEST(SpectrumAnalyzer, BitReversalForEightPoints) {
    const SpectrumAnalyzer analyzer(8, 199680);
    EXPECT_EQ(analyzer.bitReverse(), (std::vector<int>{0, 4, 2, 6, 1, 5, 3, 7}));
}

}  // namespace
}  // namespace acquisition
