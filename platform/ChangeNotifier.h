#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace platform {

// Tells the user-interface thread that pictures changed, so that nothing has
// to look for changes while there are none. Any thread may call notify(): it
// allocates nothing and takes no lock; only the first change since the last
// look wakes the user-interface thread (through an eventfd, or a pipe where
// there is none, watched by a QSocketNotifier). Looks are held back to one a
// frame of the screen, and to 25 a second at the most: a wake-up that comes
// sooner waits for the rest of the frame, and later changes join it.
class ChangeNotifier final : public QObject {
public:
    // `look` runs on the user-interface thread after changes.
    ChangeNotifier(std::function<void()> look, QObject* parent);
    ~ChangeNotifier() override;
    ChangeNotifier(const ChangeNotifier&) = delete;
    ChangeNotifier& operator=(const ChangeNotifier&) = delete;

    void notify() noexcept;

private:
    void woken();
    void lookNow();

    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::unique_ptr<QSocketNotifier> watch_;
    QTimer restOfFrame_;
    QElapsedTimer sinceLook_;
    int frameMilliseconds_ = 40;
    // Set from the first change after a look until the next look: while it
    // is set, changes wake nobody.
    std::atomic<bool> pending_{false};
    std::function<void()> look_;
};

}  // namespace platform
