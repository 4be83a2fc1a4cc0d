#pragma once

#include "DialogTemplate.h"

namespace resources {

// Control ids of the main dialog.
namespace ids {
inline constexpr int startStop = 1003;
inline constexpr int aboutButton = 1019;
inline constexpr int blockScroller = 1012;
inline constexpr int sampleRateList = 1008;
inline constexpr int fftList = 1014;
inline constexpr int blackRectangle = 101;
inline constexpr int rateDisplay = 1013;
inline constexpr int scalePicture = 1016;
inline constexpr int bits8 = 1005;
inline constexpr int bits16 = 1006;
inline constexpr int unusedCombo = 1022;
inline constexpr int firstPane = 1029;  // pane i is firstPane + i
inline constexpr int filter = 1024;
inline constexpr int speedList = 1025;
inline constexpr int gainList = 1026;
inline constexpr int printGraph = 1027;
inline constexpr int firstSlot = 1056;  // slot k (1 to 10) is firstSlot + k - 1
inline constexpr int slotGroupBox = 1066;
inline constexpr int saveRecorded = 1080;
inline constexpr int offsetSlider = 1077;
// Not a control: Ctrl+Z in the main window, which undoes the last SAVE or
// FILTER.
inline constexpr int undo = 2001;
// Not a control: Ctrl+O in the main window, which opens a tone recording
// (an audio file) and decodes it as a recording.
inline constexpr int openTone = 2002;
// Not a control: what SAVE sends the main window once the marked stretch
// replaced the recording, with the first visible pane, to show it again.
inline constexpr int partialSaveDone = 2000;
// The About dialog.
inline constexpr int ok = 1;
inline constexpr int cancel = 2;
inline constexpr int emergencyCall = 1020;
// The print cancel dialog.
inline constexpr int cancelPrint = 1028;
}  // namespace ids

// Icons: the main window's small icon, the About button's image and the two
// faces of the start/stop button.
namespace icons {
inline constexpr int about = 109;
inline constexpr int window = 110;
inline constexpr int readyToRecord = 1030;
inline constexpr int recording = 1031;
}  // namespace icons

inline constexpr int paneCount = 20;
inline constexpr int slotCount = 10;

inline constexpr const char* notice =
    "    THIS SOFTWARE IS TO BE USED FOR RECORDING ONLY.                    PLEASE SEND THE "
    "RECORDED FILE TO THE MEDICAL CENTER   ";
inline constexpr const char* aboutTarget = "Vestrano_ECG";

const DialogTemplate& mainDialogTemplate();
const DialogTemplate& aboutDialogTemplate();
const DialogTemplate& printCancelDialogTemplate();

}  // namespace resources
