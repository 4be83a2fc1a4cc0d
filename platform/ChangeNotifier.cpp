#include "ChangeNotifier.h"

#include <unistd.h>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <system_error>
#ifdef __linux__
#include <sys/eventfd.h>
#else
#include <fcntl.h>
#endif

namespace platform {

namespace {

constexpr double fallbackFrameRate = 60.0;

int frameMillisecondsOfScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double rate = screen != nullptr && screen->refreshRate() > 1.0 ? screen->refreshRate()
                                                                         : fallbackFrameRate;
    return std::max(static_cast<int>(ChangeNotifier::shortestInterval.count()),
                    static_cast<int>(std::floor(1000.0 / rate)));
}

}  // namespace

ChangeNotifier::ChangeNotifier(std::function<void()> look, QObject* parent)
    : QObject(parent),
      frameMilliseconds_(frameMillisecondsOfScreen()),
      userInterfaceThread_(std::this_thread::get_id()),
      look_(std::move(look)) {
#ifdef __linux__
    readEnd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    writeEnd_ = readEnd_;
    if (readEnd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
#else
    int ends[2] = {-1, -1};
    if (::pipe(ends) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe");
    }
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    for (const int end : ends) {
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
    }
#endif
    watch_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    connect(watch_.get(), &QSocketNotifier::activated, this, [this] { woken(); });
    restOfFrame_.setSingleShot(true);
    connect(&restOfFrame_, &QTimer::timeout, this, [this] { tick(); });
}

ChangeNotifier::~ChangeNotifier() {
    watch_.reset();
    ::close(readEnd_);
    if (writeEnd_ != readEnd_) {
        ::close(writeEnd_);
    }
}

void ChangeNotifier::notify() noexcept {
    changed_.store(true);
    if (std::this_thread::get_id() == userInterfaceThread_) {
        // The user's own doing: shown at once, with whatever else changed.
        // A picture drawn anew makes thousands of changes; the timer is
        // set once for them all.
        pending_.store(true);
        if (!lookSoon_) {
            lookSoon_ = true;
            restOfFrame_.start(0);
        }
        return;
    }
    if (pending_.exchange(true)) {
        return;
    }
    // An eventfd takes an 8-byte count; a pipe takes the same bytes. A full
    // pipe already holds a wake-up, so a failed write loses nothing.
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(writeEnd_, &one, sizeof one);
}

void ChangeNotifier::woken() {
    std::uint64_t drained[8];
    while (::read(readEnd_, drained, sizeof drained) > 0) {
    }
    if (restOfFrame_.isActive()) {
        return;
    }
    const qint64 since = sinceLook_.isValid() ? sinceLook_.elapsed() : frameMilliseconds_;
    if (since >= frameMilliseconds_) {
        tick();
    } else {
        restOfFrame_.start(static_cast<int>(frameMilliseconds_ - since));
    }
}

// While changes keep coming (a recording), the timer alone paces the looks:
// each look arranges the next one, and other threads' changes meanwhile find
// a look arranged and wake nobody. The first tick that finds nothing changed
// ends the arrangement, and the next change wakes the thread again.
void ChangeNotifier::tick() {
    lookSoon_ = false;
    if (changed_.exchange(false)) {
        sinceLook_.start();
        restOfFrame_.start(frameMilliseconds_);
        // A change made while the look runs is seen by the next tick.
        look_();
        return;
    }
    pending_.store(false);
    // A change made after the look above found nothing and before the look
    // was called off found a look arranged and woke nobody: arrange one for
    // it, unless its thread has just done so.
    if (changed_.load() && !pending_.exchange(true)) {
        lookSoon_ = true;
        restOfFrame_.start(0);
    }
}

}  // namespace platform
