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

TEST(CommandLine, UnattendedAndSimulatorOptions) {
    const auto line = CommandLine::parse(
        {"--simulate", "--record", "15", "--screenshot=shot.png", "--wander", "0.5"});
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    EXPECT_EQ(line.recordSeconds.value(), 15);
    EXPECT_EQ(line.screenshotPath, "shot.png");
    EXPECT_DOUBLE_EQ(line.wanderMillivolts, 0.5);
    EXPECT_EQ(CommandLine::parse({"--record=3"}).recordSeconds.value(), 3);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--record"},
                                                {"--record", "0"},
                                                {"--record", "-5"},
                                                {"--record", "2.5"},
                                                {"--record", "99999999999"},
                                                {"--screenshot"},
                                                {"--screenshot="},
                                                {"--wander", "-1"},
                                                {"--wander", "nan"},
                                                {"--wander", "6"}}) {
        EXPECT_EQ(CommandLine::parse(bad).action, CommandLine::Action::Error) << bad[0];
    }
}

// The records folder, and the file names that must keep pointing where the
// command was typed once the program works in that folder.
TEST(CommandLine, RecordsFolderAndPathsTypedBesideIt) {
    EXPECT_EQ(CommandLine::parse({"--records", "ecg"}).recordsFolder, "ecg");
    EXPECT_EQ(CommandLine::parse({"--records=/srv/ecg"}).recordsFolder, "/srv/ecg");
    EXPECT_TRUE(CommandLine::parse({"--documents"}).documents);
    EXPECT_FALSE(CommandLine::parse({}).documents);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--records"},
                                                {"--records="},
                                                {"--records", "a", "--documents"},
                                                {"--wander", "0.5"},
                                                {"--wander", "0", "--record", "3"}}) {
        const auto line = CommandLine::parse(bad);
        EXPECT_EQ(line.action, CommandLine::Action::Error) << bad[0] << " " << bad.size();
        EXPECT_FALSE(line.error.empty());
    }
    EXPECT_EQ(CommandLine::parse({"--wander", "0.5", "--simulate"}).action,
              CommandLine::Action::Run);

    auto line = CommandLine::parse({"--records", "elsewhere", "--export-edf", "REC1.txt",
                                    "/tmp/out.edf", "--screenshot", "../shot.png"});
    ASSERT_EQ(line.action, CommandLine::Action::ExportEdf) << line.error;
    line.anchorPaths("/home/user/work");
    EXPECT_EQ(line.exportRecord, "/home/user/work/REC1.txt");
    EXPECT_EQ(line.exportTarget, "/tmp/out.edf");
    EXPECT_EQ(line.screenshotPath, "/home/user/work/../shot.png");
    EXPECT_EQ(line.recordsFolder, "elsewhere");
    EXPECT_TRUE(line.printPdfPath.empty());
}

}  // namespace
}  // namespace app
