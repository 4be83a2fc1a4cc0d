#include "CloseRequestFilter.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ModalService.h"

namespace platform {

namespace {

std::uint32_t atomNamed(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : 0;
}

}  // namespace

CloseRequestFilter::CloseRequestFilter(const QWidget& window, std::function<void()> onClose)
    : window_(window), onClose_(std::move(onClose)) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

CloseRequestFilter::~CloseRequestFilter() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool CloseRequestFilter::asksToClose(const void* event, std::uint32_t window,
                                     std::uint32_t protocols, std::uint32_t deleteWindow) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    if (generic == nullptr || (generic->response_type & 0x7F) != XCB_CLIENT_MESSAGE ||
        protocols == 0) {
        return false;
    }
    const auto* message = static_cast<const xcb_client_message_event_t*>(event);
    return message->window == window && message->type == protocols && message->format == 32 &&
           message->data.data32[0] == deleteWindow;
}

bool CloseRequestFilter::knowAtoms() {
    if (!looked_) {
        looked_ = true;
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (x11 != nullptr && x11->connection() != nullptr) {
            protocols_ = atomNamed(x11->connection(), "WM_PROTOCOLS");
            deleteWindow_ = atomNamed(x11->connection(), "WM_DELETE_WINDOW");
        }
    }
    return protocols_ != 0 && deleteWindow_ != 0;
}

bool CloseRequestFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    // Without a box open, Qt delivers the request to the window itself.
    if (!modalActive() || eventType != "xcb_generic_event_t" || !knowAtoms() ||
        !window_.testAttribute(Qt::WA_WState_Created)) {
        return false;
    }
    if (asksToClose(message, static_cast<std::uint32_t>(window_.winId()), protocols_,
                    deleteWindow_)) {
        // Not from inside the event's own handling: the close dismisses boxes
        // and runs their callers on.
        QTimer::singleShot(0, QCoreApplication::instance(), onClose_);
    }
    return false;
}

}  // namespace platform
