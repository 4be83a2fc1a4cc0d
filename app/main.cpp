#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/FrontEndSimulator.h"
#include "app/CommandLine.h"
#include "app/Controller.h"
#include "platform/Application.h"
#include "platform/CaptureWindow.h"
#include "platform/ModalService.h"
#include "platform/PortAudioWaveInput.h"
#include "platform/QtModalService.h"
#include "platform/WinException.h"

namespace {

constexpr const char* title = "Trelmont Record_ECG";
constexpr const char* notice =
    "    THIS SOFTWARE IS TO BE USED FOR RECORDING ONLY.                    PLEASE SEND THE "
    "RECORDED FILE TO THE MEDICAL CENTER   ";

std::unique_ptr<platform::WaveInput> makeInput(const app::CommandLine& line) {
    if (line.simulateBpm) {
        acquisition::SimulatorSettings settings;
        settings.heart.beatsPerMinute = *line.simulateBpm;
        return std::make_unique<acquisition::FrontEndSimulator>(settings);
    }
    return std::make_unique<platform::PortAudioWaveInput>();
}

int runProgram(int argc, char** argv, const app::CommandLine& line) {
    platform::Application application(argc, argv);
    platform::installModalService(std::make_unique<platform::QtModalService>());
    const std::unique_ptr<platform::WaveInput> input = makeInput(line);
    platform::CaptureWindow window(title, notice);
    std::unique_ptr<app::Controller> controller;
    try {
        controller = std::make_unique<app::Controller>(*input, window);
    } catch (const platform::WinException& e) {
        platform::modalService().messageBox({e.text(), "Exception", platform::BoxIcon::Warning});
        return 1;
    }
    window.onClose([&controller] { controller.reset(); });
    window.show();
    const int code = application.exec();
    controller.reset();
    return code;
}

}  // namespace

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
    return runProgram(argc, argv, line);
}
