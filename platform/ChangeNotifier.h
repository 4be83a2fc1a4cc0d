#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class QSocketNotifier;

namespace platform {

// Tells the user-interface thread that pictures changed, so that nothing has
// to look for changes while there are none.
//
// Changes from another thread (the capture worker drawing the live trace):
// notify() allocates nothing and takes no lock. The first change after a
// quiet spell wakes the user-interface thread (through an eventfd, or a pipe
// where there is none, watched by a QSocketNotifier); while changes keep
// coming, each look arranges the next one on a timer and changes wake
// nobody; the first look that finds nothing changed ends it. Looks are held
// to one a frame of the screen and to one every `shortestInterval` at the
// most.
//
// Changes made on the user-interface thread itself answer the user
// (scrolling, a selection dragged, a slot loaded): they are looked at as soon
// as the thread returns to its event loop, with whatever else changed.
class ChangeNotifier final : public QObject {
public:
    // The live trace moves one pixel a value at the default settings (48.75
    // values a second), so a look every 80 ms moves it by about four pixels,
    // a millimetre on the screen: at 12.5 steps a second the eye still sees
    // a line drawn steadily from left to right, where a jump of a centimetre
    // would show. Each look costs a repaint and its transfer to the display
    // server, the largest share of what a recording costs the window, so
    // twice the rate would cost about twice as much for nothing to see.
    static constexpr std::chrono::milliseconds shortestInterval{80};

    // `look` runs on the user-interface thread after changes. The thread
    // that builds the notifier is taken for the user-interface thread.
    ChangeNotifier(std::function<void()> look, QObject* parent);
    ~ChangeNotifier() override;
    ChangeNotifier(const ChangeNotifier&) = delete;
    ChangeNotifier& operator=(const ChangeNotifier&) = delete;

    void notify() noexcept;

private:
    void woken();
    void tick();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::unique_ptr<QSocketNotifier> watch_;
    QTimer restOfFrame_;
    QElapsedTimer sinceLook_;
    int frameMilliseconds_ = static_cast<int>(shortestInterval.count());
    std::thread::id userInterfaceThread_;
    // The timer is set to fire at once (user-interface thread only).
    bool lookSoon_ = false;
    // Set while a look is arranged (a wake-up on its way, or the timer
    // running): other threads' changes then wake nobody.
    std::atomic<bool> pending_{false};
    // Set by every change, cleared by the look that takes it.
    std::atomic<bool> changed_{false};
    std::function<void()> look_;
};

}  // namespace platform
