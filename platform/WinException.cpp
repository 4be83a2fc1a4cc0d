#include "WinException.h"

#include <cerrno>

namespace platform {

WinException::WinException(const char* message) : message_(message), errorCode_(errno) {}

std::string WinException::text() const {
    if (errorCode_ == 0) {
        return message_;
    }
    return std::string(message_) + ", Error " + std::to_string(errorCode_);
}

}  // namespace platform
