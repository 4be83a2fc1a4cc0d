#include "Application.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

#include "ApplicationIcon.h"

namespace platform {

namespace {

// The signal handler's end of a socket pair; the other end wakes the loop.
volatile std::sig_atomic_t signalSocket = -1;

void onSignal(int) {
    const int fd = signalSocket;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
}

// What the window sends an X11 server is mostly a live trace: a strip a few
// pixels wide, a dozen times a second. Qt's shared-memory transfer costs a
// round trip to the server before each paint over a part sent before (every
// one of those strips) and an event from the server after it; plain requests
// cost neither, and even a whole window sent so (scrolling) is a few
// megabytes, a millisecond or two on a local server. Set while Qt connects,
// only when the user has not chosen, and taken back so that programs started
// from here do not inherit it. Other platforms ignore it.
std::unique_ptr<QApplication> makeApplication(int& argc, char** argv) {
    const char* const noSharedMemory = "QT_XCB_NO_MITSHM";
    if (qEnvironmentVariableIsSet(noSharedMemory)) {
        return std::make_unique<QApplication>(argc, argv);
    }
    qputenv(noSharedMemory, "1");
    auto app = std::make_unique<QApplication>(argc, argv);
    qunsetenv(noSharedMemory);
    return app;
}

}  // namespace

// Turns the termination signals into a call on the user-interface thread.
class Application::TerminationWatch {
public:
    explicit TerminationWatch(std::function<void()> handler) : handler_(std::move(handler)) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
            return;
        }
        notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this] { drainAndHandle(); });
        signalSocket = fds_[0];
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int s : {SIGTERM, SIGINT, SIGHUP}) {
            sigaction(s, &action, nullptr);
        }
    }
    ~TerminationWatch() {
        for (const int s : {SIGTERM, SIGINT, SIGHUP}) {
            std::signal(s, SIG_DFL);
        }
        signalSocket = -1;
        notifier_.reset();
        for (const int fd : fds_) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

private:
    void drainAndHandle() {
        char bytes[16];
        while (::read(fds_[1], bytes, sizeof bytes) > 0) {
        }
        if (handler_) {
            handler_();
        }
    }

    std::function<void()> handler_;
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

Application::Application(int& argc, char** argv) : app_(makeApplication(argc, argv)) {
    // The names the desktop matches against the menu entry: the X11 window
    // class and the Wayland application id.
    QApplication::setApplicationName(QStringLiteral("trelmont-ecg"));
    QApplication::setDesktopFileName(QStringLiteral("org.trelmont.ecg"));
    QApplication::setWindowIcon(applicationIcon());
}

Application::~Application() {
    termination_.reset();
}

void Application::onTerminationRequest(std::function<void()> handler) {
    termination_.reset();
    termination_ = std::make_unique<TerminationWatch>(std::move(handler));
}

int Application::exec() {
    return QApplication::exec();
}

void Application::quit(int code) {
    QApplication::exit(code);
}

void Application::post(std::function<void()> task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

void Application::beep() {
    QApplication::beep();
}

void Application::postQuit(int code) {
    post([code] { QCoreApplication::exit(code); });
}

void Application::postAfter(int milliseconds, std::function<void()> task) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QTimer::singleShot(milliseconds, app, std::move(task));
}

void Application::processEvents(int milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, milliseconds);
}

}  // namespace platform
