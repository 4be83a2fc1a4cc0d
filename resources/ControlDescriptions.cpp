#include "ControlDescriptions.h"

#include "DialogTemplates.h"

namespace resources {

namespace {

constexpr int windowBar = 0;
constexpr const char* stripKeys = "wheel, Up/Down, PageUp/PageDown, Home/End";

ControlDescription describePane(int index) {
    return {"Strip " + std::to_string(index + 1), "",
            std::string("Drag to mark a stretch; ") + stripKeys + " scroll the strips"};
}

ControlDescription describeSlot(int k) {
    const std::string n = std::to_string(k);
    return {"Record slot " + n,
            "Loads record slot " + n +
                " into the working recording; a stop stores the "
                "recording in the checked slot",
            "Record slot " + n};
}

}  // namespace

ControlDescription describeMainControl(int id) {
    if (id >= ids::firstPane && id < ids::firstPane + paneCount) {
        return describePane(id - ids::firstPane);
    }
    if (id >= ids::firstSlot && id < ids::firstSlot + slotCount) {
        return describeSlot(id - ids::firstSlot + 1);
    }
    switch (id) {
        case windowBar:
            return {"Strips", "Chooses which five of the twenty strips are shown",
                    std::string("Scroll the strips (") + stripKeys + ")"};
        case ids::startStop:
            return {"", "Starts a recording, or stops the one that runs",
                    "Start or stop recording (Enter)"};
        case ids::aboutButton:
            return {"About", "About this program", "About"};
        case ids::blockScroller:
            return {"Samples per buffer", "Chooses the samples of audio per ECG value",
                    "Samples per buffer"};
        case ids::sampleRateList:
            return {"Sampling rate", "Chooses the audio sampling rate", "Sampling rate"};
        case ids::fftList:
            return {"FFT size", "Chooses the size of the spectrum", "FFT size"};
        case ids::blackRectangle:
            return {"Rate frame", "Frames the values-per-second display", ""};
        case ids::rateDisplay:
            return {"Values per second", "The ECG values taken each second", ""};
        case ids::scalePicture:
            return {"Scale", "Tick scale beside the trace offset", ""};
        case ids::bits8:
            return {"8 bits per sample", "Records 8-bit audio", "8 bits per sample"};
        case ids::bits16:
            return {"16 bits per sample", "Records 16-bit audio", "16 bits per sample"};
        case ids::unusedCombo:
            return {"Unused list", "Not in use", ""};
        case ids::filter:
            return {"Filter", "Removes baseline wander from the working recording and shows it",
                    "Remove baseline wander"};
        case ids::speedList:
            return {"Chart speed", "Chooses the chart speed in millimetres a second",
                    "Chart speed"};
        case ids::gainList:
            return {"Gain", "Chooses the gain in millimetres a millivolt", "Gain"};
        case ids::printGraph:
            return {"Print graph", "Prints the strips", "Print the strips (Ctrl+P)"};
        case ids::slotGroupBox:
            return {"Record slots", "The ten record slots", ""};
        case ids::saveRecorded:
            return {"Save recorded", "Saves a copy of the recording in slot 1 under a name",
                    "Save a copy of the recording (Ctrl+S)"};
        case ids::offsetSlider:
            return {"Trace offset", "Moves every trace up or down",
                    "Move every trace up or down (Up/Down while it has the focus)"};
        default:
            return {};
    }
}

const char* iconMeaning(int iconId) {
    switch (iconId) {
        case icons::readyToRecord:
            return "Start recording";
        case icons::recording:
            return "Stop recording";
        case icons::about:
            return "About";
        default:
            return "";
    }
}

}  // namespace resources
