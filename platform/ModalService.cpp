#include "ModalService.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {

class StderrModalService final : public ModalService {
public:
    void messageBox(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", request.caption.c_str(), request.text.c_str());
    }
};

struct ServiceSlot {
    std::mutex mutex;
    std::unique_ptr<ModalService> installed;
    StderrModalService fallback;
};

ServiceSlot& slot() {
    static ServiceSlot instance;
    return instance;
}

}  // namespace

ModalService& modalService() {
    ServiceSlot& s = slot();
    std::lock_guard guard(s.mutex);
    if (s.installed) {
        return *s.installed;
    }
    return s.fallback;
}

std::unique_ptr<ModalService> installModalService(std::unique_ptr<ModalService> service) {
    ServiceSlot& s = slot();
    std::lock_guard guard(s.mutex);
    std::swap(s.installed, service);
    return service;
}

}  // namespace platform
