#pragma once

#include <string>

namespace platform {

// The program's own failure: a constant message and the system error code in
// force when it was raised.
class WinException {
public:
    explicit WinException(const char* message);
    WinException(const char* message, int errorCode) : message_(message), errorCode_(errorCode) {}

    const char* message() const { return message_; }
    int errorCode() const { return errorCode_; }
    // "message" alone, or "message, Error code" when there is a code.
    std::string text() const;

private:
    const char* message_;
    int errorCode_;
};

}  // namespace platform
