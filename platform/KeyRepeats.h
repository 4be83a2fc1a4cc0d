#pragma once

#include <set>

class QKeyEvent;

namespace platform {

// Tells a key pressed from the same key held down, which the keyboard
// repeats. Qt marks a repeat only when it finds the repeat's press already
// queued behind its release, which a busy window often misses; the X server
// stamps both halves of a repeat with one time, and a key held down since
// another window had it (a dialog that a press of it closed) reaches the
// window as repeats alone. One press reaches several widgets in turn (the
// focus widget, then its parents): it is known again by its key and time.
// Used on the user-interface thread.
class KeyRepeats {
public:
    // Whether `press` repeats a key held down rather than pressing it anew.
    bool repeated(const QKeyEvent& press);
    void released(const QKeyEvent& release);
    // The window lost the keys (a box took them): what is down is forgotten.
    void forget();

private:
    struct Stamp {
        int key = 0;
        unsigned long time = 0;
        bool operator==(const Stamp&) const = default;
    };
    // The keys pressed and not released.
    std::set<int> down_;
    Stamp lastRelease_;
    Stamp lastPress_;
    bool lastVerdict_ = false;
};

}  // namespace platform
