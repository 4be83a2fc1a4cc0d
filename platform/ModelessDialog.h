#pragma once

#include <functional>
#include <memory>

#include "resources/DialogTemplate.h"

namespace platform {

// A small modeless dialog built from a template, on the user-interface
// thread: it shows until it is destroyed, its commands go to a handler, and
// it has no close box (only its own buttons end it).
class ModelessDialog {
public:
    using CommandHandler = std::function<void(int id)>;

    ModelessDialog(const resources::DialogTemplate& dialogTemplate, CommandHandler onCommand);
    ~ModelessDialog();
    ModelessDialog(const ModelessDialog&) = delete;
    ModelessDialog& operator=(const ModelessDialog&) = delete;

    void show();
    bool isVisible() const;
    bool hasCloseButton() const;
    std::string text(int id) const;
    // What a click on a button does, for tests and scripts.
    void click(int id);

private:
    class Window;
    std::unique_ptr<Window> window_;
};

}  // namespace platform
