#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/Application.h"

namespace platform {

// A suite of tests on real widgets offscreen: one application for the suite,
// gone before the process exits, since Qt's own statics must outlive it.
class OffscreenApplicationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "platform_tests";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<Application>(argc, argv);
    }
    static void TearDownTestSuite() { app.reset(); }

    static inline std::unique_ptr<Application> app;
};

}  // namespace platform
