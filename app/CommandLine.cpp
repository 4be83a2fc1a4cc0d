#include "CommandLine.h"

#include <charconv>
#include <cmath>

namespace app {

namespace {

CommandLine failure(std::string message) {
    CommandLine line;
    line.action = CommandLine::Action::Error;
    line.error = std::move(message);
    return line;
}

std::optional<double> parseBpm(const std::string& text) {
    double value = 0.0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc{} || result.ptr != last || !std::isfinite(value) ||
        value < CommandLine::minBpm || value > CommandLine::maxBpm) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    const std::string simulate = "--simulate";
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            line.action = Action::Help;
            return line;
        }
        if (argument == "--version" || argument == "-v") {
            line.action = Action::Version;
            return line;
        }
        if (argument == simulate) {
            line.simulateBpm = defaultBpm;
        } else if (argument.rfind(simulate + "=", 0) == 0) {
            const auto bpm = parseBpm(argument.substr(simulate.size() + 1));
            if (!bpm) {
                return failure("invalid heart rate in '" + argument + "' (expected " +
                               "a number of beats per minute from 20 to 250)");
            }
            line.simulateBpm = bpm;
        } else {
            return failure("unknown option '" + argument + "'");
        }
    }
    return line;
}

std::string CommandLine::helpText(const std::string& program) {
    return "Usage: " + program +
           " [OPTION]\n"
           "Records an ECG that an ECG front end delivers as an audio tone on the sound input.\n"
           "Recordings are stored in the current directory as REC.txt and REC1.txt to "
           "REC10.txt.\n"
           "\n"
           "Options:\n"
           "  --simulate[=BPM]  record from the built-in ECG front-end simulator instead of\n"
           "                    the sound card, at BPM beats per minute (default 72)\n"
           "  --help            show this help and exit\n"
           "  --version         show the version and exit\n"
           "\n"
           "Without options the program records from the system's default sound input.\n";
}

std::string CommandLine::versionText() {
    return std::string("trelmont-ecg ") + TRELMONT_VERSION + "\n";
}

}  // namespace app
