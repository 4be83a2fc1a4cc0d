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

std::optional<int> parseSeconds(const std::string& text) {
    int value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc{} || result.ptr != last || value < 1 ||
        value > CommandLine::maxRecordSeconds) {
        return std::nullopt;
    }
    return value;
}

// The value of an option given as "--name VALUE" or "--name=VALUE"; advances
// the index past a separate value. Empty when there is none.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments,
                                       std::size_t& index, const std::string& name) {
    const std::string& argument = arguments[index];
    if (argument == name) {
        if (index + 1 >= arguments.size()) {
            return std::nullopt;
        }
        index += 1;
        return arguments[index];
    }
    return argument.substr(name.size() + 1);
}

bool endsWithAnyCase(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) {
        return false;
    }
    for (std::size_t i = 0; i < end.size(); ++i) {
        const char c = text[text.size() - end.size() + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != end[i]) {
            return false;
        }
    }
    return true;
}

bool isOption(const std::string& argument, const std::string& name) {
    return argument == name || argument.rfind(name + "=", 0) == 0;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& arguments) {
    CommandLine line;
    const std::string simulate = "--simulate";
    bool wander = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
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
        } else if (isOption(argument, "--record")) {
            const auto value = optionValue(arguments, i, "--record");
            const auto seconds = value ? parseSeconds(*value) : std::nullopt;
            if (!seconds) {
                return failure("--record needs a number of seconds from 1 to " +
                               std::to_string(maxRecordSeconds));
            }
            line.recordSeconds = seconds;
        } else if (isOption(argument, "--wander")) {
            const auto value = optionValue(arguments, i, "--wander");
            double mv = -1.0;
            if (value) {
                const auto result =
                    std::from_chars(value->data(), value->data() + value->size(), mv);
                if (result.ec != std::errc{} || result.ptr != value->data() + value->size()) {
                    mv = -1.0;
                }
            }
            if (!(mv >= 0.0 && mv <= maxWanderMillivolts)) {
                return failure("--wander needs a number of millivolts from 0 to 5");
            }
            line.wanderMillivolts = mv;
            wander = true;
        } else if (argument == "--export-edf") {
            if (i + 2 >= arguments.size()) {
                return failure("--export-edf needs a record file and the name of the EDF+ file");
            }
            line.exportRecord = arguments[i + 1];
            line.exportTarget = arguments[i + 2];
            if (line.exportRecord.empty() || line.exportTarget.empty()) {
                return failure("--export-edf needs a record file and the name of the EDF+ file");
            }
            i += 2;
            line.action = Action::ExportEdf;
        } else if (argument == "--decode") {
            if (i + 2 >= arguments.size() || arguments[i + 1].empty() || arguments[i + 2].empty()) {
                return failure("--decode needs an audio file and the name of the output");
            }
            line.decodeTone = arguments[i + 1];
            line.decodeTarget = arguments[i + 2];
            if (!endsWithAnyCase(line.decodeTarget, ".edf") &&
                !endsWithAnyCase(line.decodeTarget, ".txt")) {
                return failure(
                    "--decode writes a file ending in .edf (EDF+) or .txt (a record), not " +
                    line.decodeTarget);
            }
            i += 2;
            line.action = Action::Decode;
        } else if (isOption(argument, "--channel")) {
            const auto value = optionValue(arguments, i, "--channel");
            int n = 0;
            if (!value ||
                std::from_chars(value->data(), value->data() + value->size(), n).ptr !=
                    value->data() + value->size() ||
                n < 1 || n > maxChannel) {
                return failure("--channel needs the number of a channel, from 1");
            }
            line.channel = n;
        } else if (isOption(argument, "--print-pdf")) {
            const auto value = optionValue(arguments, i, "--print-pdf");
            if (!value || value->empty()) {
                return failure("--print-pdf needs the name of a PDF file");
            }
            line.printPdfPath = *value;
            line.action = Action::PrintPdf;
        } else if (isOption(argument, "--records")) {
            const auto value = optionValue(arguments, i, "--records");
            if (!value || value->empty()) {
                return failure("--records needs the name of a folder");
            }
            line.recordsFolder = *value;
        } else if (argument == "--documents") {
            line.documents = true;
        } else if (isOption(argument, "--screenshot")) {
            const auto value = optionValue(arguments, i, "--screenshot");
            if (!value || value->empty()) {
                return failure("--screenshot needs the name of a PNG file");
            }
            line.screenshotPath = *value;
        } else {
            return failure("unknown option '" + argument + "'");
        }
    }
    if (wander && !line.simulateBpm) {
        return failure("--wander needs --simulate: only the simulator's heart signal wanders");
    }
    if (line.channel && line.action != Action::Decode) {
        return failure("--channel goes with --decode: it chooses the channel of the audio file");
    }
    if (line.documents && !line.recordsFolder.empty()) {
        return failure("--records and --documents name two folders; give one of them");
    }
    return line;
}

void CommandLine::anchorPaths(const std::filesystem::path& directory) {
    for (std::string* path : {&screenshotPath, &printPdfPath, &exportRecord, &exportTarget,
                              &decodeTone, &decodeTarget}) {
        if (!path->empty() && std::filesystem::path(*path).is_relative()) {
            *path = (directory / *path).string();
        }
    }
}

std::string CommandLine::helpText(const std::string& program) {
    return "Usage: " + program +
           " [OPTION]...\n"
           "Records an ECG that an ECG front end delivers as an audio tone on the sound input.\n"
           "Recordings are stored in the current directory as REC.txt and REC1.txt to "
           "REC10.txt,\n"
           "or in the folder that --records or --documents names. Beside each record lie its\n"
           "high-rate companion (REC1.hr.txt) and its facts (REC1.info.txt: when and how it\n"
           "was recorded, and the SHA-256 that ties the three together); one program at a\n"
           "time works in a records folder.\n"
           "\n"
           "Options:\n"
           "  --simulate[=BPM]  record from the built-in ECG front-end simulator instead of\n"
           "                    the sound card, at BPM beats per minute (default 72)\n"
           "  --wander MV       with --simulate: add a slow baseline wander of MV millivolts\n"
           "                    (0.3 Hz), as breathing and electrode drift cause\n"
           "  --record SECONDS  unattended: press start once the window is up, stop after\n"
           "                    SECONDS (or when the recording stops itself), then close\n"
           "                    the window; the recording is in REC.txt and REC1.txt\n"
           "  --screenshot FILE save a PNG picture of the main window just before it closes\n"
           "  --print-pdf FILE  print the recording in this directory (REC.txt) to a PDF\n"
           "                    file, five strips a page, without a window, and exit\n"
           "  --decode TONE OUT\n"
           "                    decode an audio file of the front end's tone (a voice memo,\n"
           "                    a voicemail: WAV, FLAC, Ogg, Opus, MP3, M4A/AAC, AMR) into\n"
           "                    OUT.edf (EDF+) or OUT.txt (a record with its companion and\n"
           "                    facts), all of it, and exit; progress on a terminal\n"
           "  --channel N       with --decode: read channel N (from 1), not the one with the\n"
           "                    most tone\n"
           "  --export-edf RECORD OUT.edf\n"
           "                    write a record file (such as REC1.txt) as EDF+ for the\n"
           "                    medical centre's viewers, without a window, and exit; its\n"
           "                    start, rate and scale come from its facts\n"
           "  --records DIR     keep the recordings in the folder DIR (created if missing);\n"
           "                    file names given to other options stay relative to the\n"
           "                    directory the command was typed in\n"
           "  --documents       keep the recordings in the folder \"ECG recordings\" of your\n"
           "                    documents folder (the menu entry starts the program so)\n"
           "  --help            show this help and exit\n"
           "  --version         show the version and exit\n"
           "\n"
           "Without options the program records from the system's default sound input.\n"
           "In the main window, Ctrl+P prints the recording (\"Print Graph\") while no\n"
           "recording runs; the print dialog's \"Print to File\" writes a PDF.\n"
           "Ctrl+Z undoes the last SAVE or FILTER: REC.txt and the slot come back as they\n"
           "were, from the copies REC.undo.txt and REC.undo.slot.txt kept beside them (one\n"
           "step, until a new recording or a slot load). Ctrl+S is \"SAVE  RECORDED\".\n"
           "Ctrl+O (or a file dropped on the window) opens a tone recording, an audio file,\n"
           "as the working recording: seven strips of it, as a recording; Esc stops it.\n"
           "The wheel, Up/Down, PageUp/PageDown and Home/End scroll the strips.\n"
           "\n"
           "Exit status: 0 when all went well, 1 when the records folder cannot be written,\n"
           "a file cannot be written or read, or an unattended recording could not start\n"
           "or was stopped by a failure, 2 for a mistake on the command line.\n";
}

std::string CommandLine::versionText() {
    return std::string("trelmont-ecg ") + TRELMONT_VERSION + "\n";
}

}  // namespace app
