#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const app::CommandLine line = app::CommandLine::parse(arguments);
    const std::string program = argc > 0 ? argv[0] : "trelmont-ecg";
    switch (line.action) {
        case app::CommandLine::Action::Help:
            std::fputs(app::CommandLine::helpText(program).c_str(), stdout);
            return 0;
        case app::CommandLine::Action::Version:
            std::fputs(app::CommandLine::versionText().c_str(), stdout);
            return 0;
        case app::CommandLine::Action::Error:
            std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", program.c_str(), line.error.c_str(),
                         program.c_str());
            return 2;
        case app::CommandLine::Action::Run:
            break;
    }
    std::fputs("trelmont-ecg: the main window is not built yet; see --help.\n", stderr);
    return 0;
}
