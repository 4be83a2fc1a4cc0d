#pragma once

#include <string>

namespace resources {

// What assistive technology says about a control of the main dialog, and the
// tooltip that names its keyboard shortcut. These are the program's own
// words beside the template: the template's captions stay as they are.
struct ControlDescription {
    std::string name;         // empty: the control's caption serves
    std::string description;  // empty: set while the program runs (a strip's stretch)
    std::string toolTip;
};

// The description of a main-dialog control by id (0 for the window's own
// scroll bar); empty texts for a control without one.
ControlDescription describeMainControl(int id);

// What an icon on a button stands for, read out in its place; "" for none.
const char* iconMeaning(int iconId);

}  // namespace resources
