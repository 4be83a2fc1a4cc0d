#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace app {

// What the command line asks for. Every run otherwise starts from the built-in
// defaults: there is no configuration file.
struct CommandLine {
    enum class Action { Run, Help, Version, PrintPdf, ExportEdf, Decode, Error };

    Action action = Action::Run;
    // Set when --simulate was given: the heart rate of the ECG front-end
    // simulator, in beats per minute.
    std::optional<double> simulateBpm;
    // --record SECONDS: press start once the window is up, stop after
    // SECONDS (or when the recording stops itself), then close the window.
    std::optional<int> recordSeconds;
    // --wander MV: the simulator's baseline wander, in millivolts.
    double wanderMillivolts = 0.0;
    // --screenshot FILE: save a PNG of the main window just before it closes.
    std::string screenshotPath;
    // --print-pdf FILE: print the working recording to a PDF and exit.
    std::string printPdfPath;
    // --export-edf RECORD OUT: write the record file as EDF+ and exit.
    std::string exportRecord;
    std::string exportTarget;
    // --decode TONE OUT: decode an audio file of the tone into OUT (".edf"
    // or ".txt") and exit; --channel N: its channel N (from 1), not the one
    // with the most tone.
    std::string decodeTone;
    std::string decodeTarget;
    std::optional<int> channel;
    // --records DIR: the folder of the working recording and the slots.
    std::string recordsFolder;
    // --documents: the folder "ECG recordings" in the user's documents.
    bool documents = false;
    std::string error;

    static constexpr double defaultBpm = 72.0;
    static constexpr double minBpm = 20.0;
    static constexpr double maxBpm = 250.0;
    static constexpr int maxRecordSeconds = 24 * 60 * 60;
    static constexpr int maxChannel = 64;
    static constexpr double maxWanderMillivolts = 5.0;

    static constexpr const char* documentsSubfolder = "ECG recordings";

    static CommandLine parse(const std::vector<std::string>& arguments);
    static std::string helpText(const std::string& program);
    static std::string versionText();

    // Makes the file names given on the command line absolute against
    // `directory` (where the command was typed), so that they keep their
    // meaning once the program works in its records folder.
    void anchorPaths(const std::filesystem::path& directory);
};

}  // namespace app
