#include "platform/CloseRequestFilter.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace {

constexpr std::uint32_t window = 0x200005;
constexpr std::uint32_t protocols = 237;
constexpr std::uint32_t deleteWindow = 238;
constexpr std::uint32_t takeFocus = 239;

xcb_client_message_event_t deleteRequest() {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = protocols;
    message.data.data32[0] = deleteWindow;
    return message;
}

// The window manager's request to close the main window, as the close
// button and Alt+F4 send it, is told from everything else that arrives
// while a box is open: other windows' requests (the box's own), other
// protocols, other events.
TEST(CloseRequestFilter, OnlyTheDeleteRequestForTheWindowAsksToClose) {
    const auto asks = [](const xcb_client_message_event_t& m) {
        return platform::CloseRequestFilter::asksToClose(&m, window, protocols, deleteWindow);
    };
    xcb_client_message_event_t message = deleteRequest();
    EXPECT_TRUE(asks(message));
    // Sent by another client (the window manager): the event's high bit.
    message.response_type |= 0x80;
    EXPECT_TRUE(asks(message));

    message = deleteRequest();
    message.window = window + 9;  // the box
    EXPECT_FALSE(asks(message));
    message = deleteRequest();
    message.data.data32[0] = takeFocus;
    EXPECT_FALSE(asks(message));
    message = deleteRequest();
    message.type = deleteWindow;
    EXPECT_FALSE(asks(message));
    message = deleteRequest();
    message.response_type = XCB_KEY_PRESS;
    EXPECT_FALSE(asks(message));
    // Atoms a server without a window manager's protocols never gave.
    message = deleteRequest();
    EXPECT_FALSE(platform::CloseRequestFilter::asksToClose(&message, window, 0, 0));
}

}  // namespace
