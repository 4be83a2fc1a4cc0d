#pragma once

#include <memory>
#include <string>

// Every modal interaction (message boxes now, the file, print and About dialogs
// later) goes through one replaceable service. The program installs the Qt
// one; tests install a scripted one that records what would have been shown.

namespace platform {

enum class BoxIcon { None, Information, Warning, Error };

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    BoxIcon icon = BoxIcon::None;
};

class ModalService {
public:
    virtual ~ModalService() = default;
    // Shows a box with an OK button and waits until it is dismissed.
    virtual void messageBox(const MessageBoxRequest& request) = 0;
};

// The service in use. Until one is installed, boxes are written to standard
// error, so that nothing is ever shown silently to nobody.
ModalService& modalService();

// Installs a service and returns the previous one (null when the default was
// in use). Call it on the user-interface thread before any box can be shown.
std::unique_ptr<ModalService> installModalService(std::unique_ptr<ModalService> service);

}  // namespace platform
