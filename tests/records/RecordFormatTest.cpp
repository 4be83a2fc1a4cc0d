#include "records/RecordFormat.h"

#include <gtest/gtest.h>

namespace records {
namespace {

TEST(RecordFormat, WritesSixDecimals) {
    char text[valueTextSize];
    EXPECT_EQ(std::string(text, formatValue(57.2, LineEnd::BlankNewline, text)), "57.200000 \n");
    EXPECT_EQ(std::string(text, formatValue(-2.0, LineEnd::Newline, text)), "-2.000000\n");
}

}  // namespace
}  // namespace records
