#include "sane_backend/sane/sane_session.hpp"

#include "sane_backend/sane/thread_unwinder.hpp"

namespace sane_backend {

std::unique_ptr<SaneSession> SaneSession::start() {
    load_thread_unwinder();
    SANE_Int version = 0;
    if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) return nullptr;
    return std::unique_ptr<SaneSession>(new SaneSession());
}

SaneSession::~SaneSession() { sane_exit(); }

std::vector<DeviceEntry> SaneSession::devices() const {
    std::vector<DeviceEntry> entries;
    const SANE_Device** list = nullptr;
    if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || !list) return entries;
    for (; *list; ++list) {
        const auto* device = *list;
        if (!device->name) continue;
        entries.push_back({device->name, device->vendor ? device->vendor : "", device->model ? device->model : ""});
    }
    return entries;
}

}  // namespace sane_backend
