#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DialogMessage.h"
#include "Geometry.h"
#include "PaneSurface.h"
#include "Picture.h"
#include "resources/DialogTemplate.h"

namespace platform {

// The modeless main dialog, built from its template. Controls are reached by
// id, events arrive as DialogMessages at one procedure, and the window keeps
// its own vertical scroll bar to the right of the template's client area, so
// that client coordinates stay those of the template.
//
// Everything here runs on the user-interface thread, except post(), which any
// thread may call.
class MainDialog {
public:
    using Procedure = std::function<void(MainDialog& dialog, const DialogMessage& message)>;

    // Builds the window, then delivers InitDialog to the procedure. The
    // window is not shown until show().
    MainDialog(const resources::DialogTemplate& dialogTemplate, Procedure procedure);
    ~MainDialog();
    MainDialog(const MainDialog&) = delete;
    MainDialog& operator=(const MainDialog&) = delete;

    void show();
    // What the close box does: the procedure gets Close (later, when a modal
    // box is open, so that nothing the box's caller holds is pulled away).
    void close();
    // Takes the window off the screen for good; later messages are dropped.
    void destroy();
    bool isDestroyed() const;

    // The whole window's input (a print job takes it away for its duration).
    void setWindowEnabled(bool enabled);
    bool isWindowEnabled() const;

    // Controls by id.
    bool hasControl(int id) const;
    void enable(int id, bool enabled);
    bool isEnabled(int id) const;
    void setVisible(int id, bool visible);
    bool isVisible(int id) const;  // as set, whether or not the window is shown
    void check(int id, bool checked);
    bool isChecked(int id) const;
    void setText(int id, const std::string& text);
    std::string text(int id) const;
    void setIcon(int id, int iconId);
    int icon(int id) const;  // the icon id last set, 0 for none
    void setWindowIcon(int iconId);
    int windowIcon() const;
    std::string title() const;

    // Drop-down lists.
    void addListEntry(int id, const std::string& text);
    void selectListEntry(int id, int index);
    int listSelection(int id) const;  // -1 for none
    std::vector<std::string> listEntries(int id) const;

    // Scroll bar and slider controls, counted as the classic controls count.
    void setScrollRange(int id, int minimum, int maximum);
    void setScrollPosition(int id, int position);
    int scrollPosition(int id) const;

    // The window's own vertical scroll bar: a range with a page, as the
    // classic bar counts it (0 to 19 with a page of 5 reaches position 15).
    void setBarRange(int minimum, int maximum, int page);
    void setBarPosition(int position);
    int barPosition() const;
    int barMaximumPosition() const;

    // Placement in client coordinates.
    Rect controlRect(int id) const;
    void moveControl(int id, const Rect& rect);
    int clientWidth() const;
    int clientHeight() const;
    void resizeClient(int width, int height);

    // Shows a pane's surface in a control; the surface must outlive the view
    // or be withdrawn first.
    void showSurface(int id, PaneSurface& surface);
    void withdrawSurfaces();
    void setPicture(int id, std::unique_ptr<Picture> picture);
    bool hasPicture(int id) const;
    int controlWidth(int id) const;
    int controlHeight(int id) const;

    // Runs the procedure on a message now.
    void send(const DialogMessage& message);
    // Queues a message for the user-interface thread. It is delivered when
    // no modal box is open, and dropped once the window is destroyed.
    void post(const DialogMessage& message);

    // What the user's own input does, for tests and unattended runs: a click
    // on a button, a scroll action on a bar or slider (0 for the window's bar),
    // a key (Escape, Return) at the window.
    void click(int id);
    void scrollAction(int id, int request);
    // Drags the thumb of a bar or slider to a position and lets it go.
    void dragThumb(int id, int position);
    // A left click at a client point, delivered to whatever control the
    // pointer would reach there.
    void clickAt(int x, int y);
    // Left-button mouse input at a client point, as the pointer gives it.
    enum class Mouse { Press, Move, Release };
    void mouse(Mouse action, int x, int y);
    enum class Key {
        Escape,
        Return,
        CtrlP,
        CtrlZ,
        CtrlS,
        CtrlO,
        Up,
        Down,
        PageUp,
        PageDown,
        Home,
        End
    };
    // A key pressed and released while the control that has the focus has it.
    void pressKey(Key key);
#ifdef TRELMONT_TEST_HOOKS
    // For tests: a key held down, as the keyboard sends it: its press (when
    // `pressedHere`; otherwise it went to another window, such as a dialog
    // it closed), `repeats` repeats, and its release.
    void holdKey(Key key, int repeats, bool pressedHere);
#endif
    // Gives a control (0: the window's bar) the keyboard focus.
    void focus(int id);
    // Turns the mouse wheel (120 eighths of a degree a notch, positive away
    // from the user) over a point in client coordinates; x beyond the client
    // area is the window's bar.
    void turnWheel(int x, int y, int eighths);

    // What a screen reader learns of a control (0: the window's bar), read
    // through Qt's accessibility interface, and its tooltip.
    enum class Accessible { Name, Description, ToolTip };
    std::string accessibleText(int id, Accessible what) const;
    // The accessible description of a control that changes while the
    // program runs (the stretch a strip shows).
    void describe(int id, const std::string& description);

    // What the last drop on the window brought: the local files and
    // folders named, and how many other things (links, text) came with them.
    struct Dropped {
        std::vector<std::string> paths;
        int others = 0;
    };
    const Dropped& dropped() const;
#ifdef TRELMONT_TEST_HOOKS
    // For tests: drops `urls` (file:// links or others) on the window
    // through the platform's drop events, as a file manager would.
    void drop(const std::vector<std::string>& urls);
#endif

    // A notice across the top of the strips, in words that stand out; shown
    // until hidden.
    void showNotice(const std::string& text);
    void hideNotice();
    bool isNoticeShown() const;
    std::string noticeText() const;

    // Runs `task` every `milliseconds` on the user-interface thread until
    // replaced (a null task stops it).
    void setTicker(int milliseconds, std::function<void()> task);
    // A running ticker's next ticks come this often; the task stays. Safe
    // to call from the task itself.
    void setTickerInterval(int milliseconds);

    // Renders the window as shown into a PNG.
    bool saveScreenshot(const std::string& path) const;

private:
    void sendKey(bool press, Key key, unsigned long time);

    class Frame;
    std::unique_ptr<Frame> frame_;
};

}  // namespace platform
