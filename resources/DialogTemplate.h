#pragma once

#include <span>

// Dialog templates as data: every control of a dialog with its id, kind,
// caption, rectangle in dialog units and initial state, in template order
// (which is also the tab and stacking order). The platform layer builds the
// windows from them; nothing here depends on a windowing library.

namespace resources {

enum class ControlKind {
    PushButton,
    DefaultPushButton,
    AutoRadioButton,
    DropDownList,   // a list to choose from, with a vertical scroll bar
    DropDownCombo,  // an editable list, with a vertical scroll bar
    HorizontalScrollBar,
    VerticalTrackbar,  // a slider without tick marks
    GroupBox,
    LeftText,
    CentredSunkenText,
    BlackRectangle,
    WhiteRectangle,  // framed: the ECG panes
    ReadOnlyEdit,
    Picture,  // shows a recorded drawing stretched to the control
};

// Controls without an id of their own (group boxes, labels).
inline constexpr int noId = -1;

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* caption;      // exactly as shown, blanks included; "" for none
    int x, y, width, height;  // dialog units
    bool group;               // starts a new control group
    bool visible;
    bool enabled;
    bool showsIcon = false;  // a push button whose face is an icon
};

struct DialogTemplate {
    int id;
    const char* title;
    const char* font;
    int pointSize;
    int x, y, width, height;  // dialog units
    std::span<const ControlTemplate> controls;
};

}  // namespace resources
