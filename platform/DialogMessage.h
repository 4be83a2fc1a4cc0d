#pragma once

namespace platform {

// A message to the main dialog's procedure, as the window reports its events:
// commands from buttons and lists, scroll requests from scroll bars and the
// slider, mouse input in client coordinates, and the window's own life.
struct DialogMessage {
    enum class Kind {
        InitDialog,
        Size,
        Close,
        ContextMenu,  // x, y: screen coordinates
        Command,      // id, code (0 clicked, 9 list selection confirmed), value
        HorizontalScroll,
        VerticalScroll,  // id: the sending control, windowBar for the window's own bar
        LeftButtonDown,  // x, y: client coordinates
        LeftButtonUp,
        MouseMove,
        Drop,  // something dropped on the window: MainDialog::dropped() says what
    };
    // The id of a vertical scroll request from the window's own scroll bar.
    static constexpr int windowBar = 0;
    // The id of a scroll request that a mouse drag makes (it carries the
    // pointer's position as its x and y).
    static constexpr int pointer = -1;

    Kind kind = Kind::Command;
    int id = 0;
    int code = 0;   // a command's notification code, or a scroll request (0 to 8)
    int value = 0;  // a command's value, or a scroll request's position
    int x = 0;
    int y = 0;

    static DialogMessage command(int id, int code, int value) {
        return {Kind::Command, id, code, value, 0, 0};
    }
    static DialogMessage scroll(Kind kind, int id, int request, int position) {
        return {kind, id, request, position, 0, 0};
    }
    static DialogMessage mouse(Kind kind, int x, int y) { return {kind, 0, 0, 0, x, y}; }
};

// Scroll request codes.
namespace scroll {
inline constexpr int lineUp = 0;
inline constexpr int lineDown = 1;
inline constexpr int pageUp = 2;
inline constexpr int pageDown = 3;
inline constexpr int thumbPosition = 4;
inline constexpr int thumbTrack = 5;
inline constexpr int top = 6;
inline constexpr int bottom = 7;
inline constexpr int endScroll = 8;
}  // namespace scroll

// Notification codes of commands.
inline constexpr int buttonClicked = 0;
inline constexpr int listSelectionConfirmed = 9;

}  // namespace platform
