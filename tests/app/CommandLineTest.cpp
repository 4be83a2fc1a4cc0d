#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace app {
namespace {

TEST(CommandLine, OptionsAndErrors) {
    EXPECT_EQ(CommandLine::parse({}).action, CommandLine::Action::Run);
    EXPECT_FALSE(CommandLine::parse({}).simulateBpm.has_value());
    EXPECT_EQ(CommandLine::parse({"--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(CommandLine::parse({"--version"}).action, CommandLine::Action::Version);

    const auto simulated = CommandLine::parse({"--simulate"});
    EXPECT_EQ(simulated.action, CommandLine::Action::Run);
    EXPECT_DOUBLE_EQ(simulated.simulateBpm.value(), 72.0);
    EXPECT_DOUBLE_EQ(CommandLine::parse({"--simulate=90"}).simulateBpm.value(), 90.0);

    for (const char* bad : {"--simulate=", "--simulate=abc", "--simulate=0", "--simulate=nan",
                            "--simulate=90x", "--simulate=1e9", "--frobnicate"}) {
        const auto line = CommandLine::parse({bad});
        EXPECT_EQ(line.action, CommandLine::Action::Error) << bad;
        EXPECT_FALSE(line.error.empty()) << bad;
    }
}

}  // namespace
}  // namespace app
