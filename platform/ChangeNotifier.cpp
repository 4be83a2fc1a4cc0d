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
// A live trace gains nothing from more than 25 looks a second (a value comes
// every 20.5 ms at the default settings), and each look costs a repaint sent
// to the display server: half the values' rate keeps a recording cheap.
constexpr int shortestLookMilliseconds = 40;

int frameMillisecondsOfScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double rate = screen != nullptr && screen->refreshRate() > 1.0 ? screen->refreshRate()
                                                                         : fallbackFrameRate;
    return std::max(shortestLookMilliseconds, static_cast<int>(std::floor(1000.0 / rate)));
}

}  // namespace

ChangeNotifier::ChangeNotifier(std::function<void()> look, QObject* parent)
    : QObject(parent), frameMilliseconds_(frameMillisecondsOfScreen()), look_(std::move(look)) {
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
    connect(&restOfFrame_, &QTimer::timeout, this, [this] { lookNow(); });
}

ChangeNotifier::~ChangeNotifier() {
    watch_.reset();
    ::close(readEnd_);
    if (writeEnd_ != readEnd_) {
        ::close(writeEnd_);
    }
}

void ChangeNotifier::notify() noexcept {
    if (pending_.exchange(true, std::memory_order_acq_rel)) {
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
        lookNow();
    } else {
        restOfFrame_.start(static_cast<int>(frameMilliseconds_ - since));
    }
}

void ChangeNotifier::lookNow() {
    sinceLook_.start();
    // Cleared before the look: a change made while it runs wakes us again,
    // and one it has already seen costs at most one empty look.
    pending_.store(false, std::memory_order_release);
    look_();
}

}  // namespace platform
