#include "DialogTemplates.h"

#include <array>

namespace resources {

namespace {

using K = ControlKind;

constexpr ControlTemplate pane(int i) {
    return {ids::firstPane + i, K::WhiteRectangle, "", 16, 50 + 80 * i, 640, 78, false, true, true};
}

constexpr ControlTemplate slot(int k, int x, int width) {
    constexpr std::array<const char*, slotCount> captions = {"1", "2", "3", "4", "5",
                                                             "6", "7", "8", "9", "10"};
    return {ids::firstSlot + k - 1,
            K::AutoRadioButton,
            captions[static_cast<std::size_t>(k - 1)],
            x,
            35,
            width,
            10,
            false,
            true,
            k == 1};
}

constexpr std::size_t mainControlCount = 32 + paneCount;

constexpr std::array<ControlTemplate, mainControlCount> mainControls = {{
    {ids::startStop, K::DefaultPushButton, "", 16, 5, 47, 25, false, true, true, true},
    {ids::aboutButton, K::PushButton, "", 366, 0, 22, 20, false, false, true, true},
    {ids::blockScroller, K::HorizontalScrollBar, "", 186, 18, 61, 12, true, false, false},
    {ids::sampleRateList, K::DropDownList, "", 518, 10, 66, 51, true, true, false},
    {ids::fftList, K::DropDownList, "", 432, 9, 16, 95, false, false, false},
    {ids::blackRectangle, K::BlackRectangle, "", 258, 24, 26, 16, false, false, true},
    {ids::rateDisplay, K::ReadOnlyEdit, "", 276, 36, 18, 12, false, false, true},
    {ids::scalePicture, K::Picture, "", 312, 5, 12, 37, false, true, true},
    {ids::bits8, K::AutoRadioButton, "8", 601, 13, 24, 10, true, true, false},
    {ids::bits16, K::AutoRadioButton, "16", 625, 13, 23, 10, true, true, false},
    {ids::unusedCombo, K::DropDownCombo, "", 255, 65, 35, 30, false, false, false},
    pane(0),
    pane(1),
    pane(2),
    pane(3),
    pane(4),
    pane(5),
    pane(6),
    pane(7),
    pane(8),
    pane(9),
    pane(10),
    pane(11),
    pane(12),
    pane(13),
    pane(14),
    pane(15),
    pane(16),
    pane(17),
    pane(18),
    pane(19),
    {ids::filter, K::PushButton, " F I L T E R ", 351, 10, 78, 14, false, true, false},
    {ids::speedList, K::DropDownList, "", 235, 10, 68, 63, false, true, false},
    {ids::gainList, K::DropDownList, "", 235, 24, 68, 63, false, true, false},
    {ids::printGraph, K::PushButton, "Print Graph", 234, 30, 50, 14, false, false, true},
    {noId, K::GroupBox, "Bits per sample", 589, 3, 66, 22, false, true, false},
    slot(1, 362, 20),
    slot(2, 392, 20),
    slot(3, 422, 20),
    slot(4, 452, 20),
    slot(5, 482, 20),
    slot(6, 511, 20),
    slot(7, 542, 20),
    slot(8, 572, 21),
    slot(9, 601, 20),
    slot(10, 632, 24),
    {ids::slotGroupBox, K::GroupBox, "", 350, 26, 306, 23, true, true, false},
    {ids::saveRecorded, K::PushButton, "SAVE  RECORDED", 65, 8, 78, 18, false, true, true},
    {noId, K::LeftText, "FFT", 433, 0, 11, 8, true, false, false},
    {noId, K::LeftText, "SAMPLING", 518, 1, 36, 8, true, true, false},
    {noId, K::LeftText, notice, 8, 31, 222, 18, true, true, true},
    {ids::offsetSlider, K::VerticalTrackbar, "", 323, 0, 14, 48, false, true, true},
}};

constexpr std::array<ControlTemplate, 3> aboutControls = {{
    {ids::ok, K::DefaultPushButton, "OK", 64, 102, 36, 14, false, true, true},
    {noId, K::CentredSunkenText, aboutTarget, 38, 34, 86, 11, false, true, true},
    {ids::emergencyCall, K::PushButton, "In an emergency call 112 (Europe) or 911 (USA)", 7, 80,
     152, 13, false, true, true},
}};

constexpr std::array<ControlTemplate, 2> printCancelControls = {{
    {ids::cancelPrint, K::PushButton, "Cancel print job", 48, 50, 78, 14, false, true, true},
    {noId, K::LeftText, "Printing in progress...", 51, 25, 89, 11, false, true, true},
}};

constexpr DialogTemplate mainDialog{106, "Trelmont Record_ECG", "MS Shell Dlg", 8, 0, 0, 685,
                                    455, mainControls};
constexpr DialogTemplate aboutDialog{107, "",  "MS Sans Serif", 10, 200, 200,
                                     166, 122, aboutControls};
constexpr DialogTemplate printCancelDialog{
    ids::cancelPrint, "", "MS Sans Serif", 8, 0, 0, 186, 90, printCancelControls};

}  // namespace

const DialogTemplate& mainDialogTemplate() {
    return mainDialog;
}

const DialogTemplate& aboutDialogTemplate() {
    return aboutDialog;
}

const DialogTemplate& printCancelDialogTemplate() {
    return printCancelDialog;
}

}  // namespace resources
