#include "Application.h"

#include <QApplication>
#include <QMetaObject>
#include <QTimer>

namespace platform {

Application::Application(int& argc, char** argv)
    : app_(std::make_unique<QApplication>(argc, argv)) {}

Application::~Application() = default;

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
