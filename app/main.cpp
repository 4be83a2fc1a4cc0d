#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/CaptureDefaults.h"
#include "acquisition/FrontEndSimulator.h"
#include "app/CommandLine.h"
#include "app/Controller.h"
#include "app/DecodeCommand.h"
#include "app/PdfExport.h"
#include "app/RecordsFolder.h"
#include "app/Shell.h"
#include "app/UnattendedBoxes.h"
#include "app/UnattendedRun.h"
#include "platform/Application.h"
#include "platform/MainDialog.h"
#include "platform/ModalService.h"
#include "platform/PortAudioWaveInput.h"
#include "platform/QtModalService.h"
#include "records/EdfExport.h"
#include "records/FolderLock.h"
#include "records/RecordingCommit.h"
#include "records/SampleFile.h"
#include "resources/DialogTemplates.h"

namespace {

// Installed as the allocator's failure handler: the text reaches the
// window's initialisation guard as "Unknown", or ends the program elsewhere.
void outOfMemoryHandler() {
    throw "Out of memory";
}

void reportUnfinishedCommits(const std::string& problems) {
    if (!problems.empty()) {
        std::fprintf(stderr, "trelmont-ecg: a change of a recording could not be completed: %s\n",
                     problems.c_str());
    }
}

// Before a recording is read without the window: a change of its files that
// a program ended in the middle of is completed (that recording's alone;
// nothing else in its folder is touched), unless a window works in that
// folder now (it may be in the middle of one; the recording's facts tell
// its files apart all the same).
void finishCommitBeside(const std::string& record) {
    const std::filesystem::path folder = std::filesystem::path(record).parent_path();
    const std::string name = folder.empty() ? std::string(".") : folder.string();
    if (const auto lock = records::FolderLock::take(name)) {
        reportUnfinishedCommits(records::finishInterruptedCommit(record));
    }
}

std::unique_ptr<platform::WaveInput> makeInput(const app::CommandLine& line) {
    if (line.simulateBpm) {
        acquisition::SimulatorSettings settings;
        settings.heart.beatsPerMinute = *line.simulateBpm;
        settings.heart.wanderMillivolts = line.wanderMillivolts;
        return std::make_unique<acquisition::FrontEndSimulator>(settings);
    }
    return std::make_unique<platform::PortAudioWaveInput>();
}

// Works in the records folder from here on, alone: a folder that cannot be
// written, or that another trelmont-ecg is using, is said before the window
// opens, and nothing in it is changed. A change of a recording that a
// program ended in the middle of is completed before anything is read.
std::unique_ptr<records::FolderLock> enterRecordsFolder(const app::CommandLine& line) {
    std::string reason = app::RecordsFolder::fromCommandLine(line).enter();
    std::unique_ptr<records::FolderLock> lock;
    if (reason.empty()) {
        lock = records::FolderLock::take(".", &reason);
    }
    if (reason.empty()) {
        reason = app::RecordsFolder::checkWritable();
    }
    if (!reason.empty()) {
        platform::modalService().messageBox({reason, "Records folder", platform::BoxIcon::Error});
        return nullptr;
    }
    reportUnfinishedCommits(records::finishInterruptedCommits("."));
    return lock;
}

int runProgram(int argc, char** argv, const app::CommandLine& line) {
    platform::Application application(argc, argv);
    // An unattended run has nobody to answer a box: boxes go to standard
    // error instead, and dialogs are cancelled.
    const app::UnattendedBoxes* unattendedBoxes = nullptr;
    if (line.recordSeconds) {
        auto boxes = std::make_unique<app::UnattendedBoxes>();
        unattendedBoxes = boxes.get();
        platform::installModalService(std::move(boxes));
    } else {
        platform::installModalService(std::make_unique<platform::QtModalService>());
    }
    const std::unique_ptr<records::FolderLock> folder = enterRecordsFolder(line);
    if (!folder) {
        return 1;
    }
    const std::unique_ptr<platform::WaveInput> input = makeInput(line);
    app::Shell shell(*input);
    const std::string screenshot = line.screenshotPath;
    auto procedure = [&shell, screenshot](platform::MainDialog& dialog,
                                          const platform::DialogMessage& message) {
        if (message.kind == platform::DialogMessage::Kind::Close && !screenshot.empty() &&
            !dialog.saveScreenshot(screenshot)) {
            std::fprintf(stderr, "trelmont-ecg: could not write the screenshot %s\n",
                         screenshot.c_str());
        }
        shell.mainDialogProc(dialog, message);
    };
    std::unique_ptr<platform::MainDialog> dialog;
    try {
        dialog = std::make_unique<platform::MainDialog>(resources::mainDialogTemplate(), procedure);
    } catch (...) {
        char text[32];
        std::snprintf(text, sizeof text, "Error x%x", static_cast<unsigned>(errno));
        platform::modalService().messageBox({text, "CreateDialog", platform::BoxIcon::Warning});
        return 1;
    }
    dialog->show();
    // A logout or a kill closes the window as its close box does: the
    // recording stops cleanly and the program ends with code 0.
    application.onTerminationRequest([&dialog] { dialog->close(); });
    std::optional<app::UnattendedRun> unattended;
    if (line.recordSeconds) {
        unattended.emplace(shell, *dialog, *line.recordSeconds, *unattendedBoxes);
        unattended->begin();
    }
    const int code = application.exec();
    // The loop may also end without a close (a failed reconfiguration): the
    // Controller still goes before the window it uses.
    shell.destroyController();
    if (unattended && code == 0) {
        return unattended->exitCode();
    }
    return code;
}

int exportEdf(const std::string& record, const std::string& target) {
    finishCommitBeside(record);
    const records::EdfExport edf(acquisition::defaults::sampleRate,
                                 acquisition::defaults::samplesPerBuffer);
    const std::string reason = edf.write(record, target);
    if (!reason.empty()) {
        std::fprintf(stderr, "trelmont-ecg: %s\n", reason.c_str());
        return 1;
    }
    return 0;
}

// Printing to a file shows nothing: it needs no display.
int printPdf(int argc, char** argv, const app::CommandLine& line) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    platform::Application application(argc, argv);
    const std::string reason = app::RecordsFolder::fromCommandLine(line).enter();
    if (!reason.empty()) {
        std::fprintf(stderr, "trelmont-ecg: %s\n", reason.c_str());
        return 1;
    }
    finishCommitBeside(records::SampleFile::workingFileName);
    return app::printWorkingRecordingToPdf(line.printPdfPath);
}

}  // namespace

int main(int argc, char** argv) {
    std::set_new_handler(outOfMemoryHandler);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    app::CommandLine line = app::CommandLine::parse(arguments);
    std::error_code noDirectory;
    line.anchorPaths(std::filesystem::current_path(noDirectory));
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
        case app::CommandLine::Action::ExportEdf:
            return exportEdf(line.exportRecord, line.exportTarget);
        case app::CommandLine::Action::PrintPdf:
            return printPdf(argc, argv, line);
        case app::CommandLine::Action::Decode:
            return app::decodeToneFile(line);
        case app::CommandLine::Action::Run:
            break;
    }
    return runProgram(argc, argv, line);
}
