#pragma once
// libsane's global life: sane_init when a session starts, sane_exit when it ends. One session
// at a time per process (libsane keeps its state in globals); the data source starts one on
// MSG_OPENDS and ends it on MSG_CLOSEDS, so that every TWAIN session sees the scanners connected
// at that moment and nothing of libsane stays loaded while the application idles.

#include <sane/sane.h>

#include <memory>
#include <string>
#include <vector>

namespace sane_backend {

struct DeviceEntry {
    std::string name;  // what sane_open takes: "test:0", "epson2:libusb:001:004", ...
    std::string vendor;
    std::string model;
};

class SaneSession {
public:
    // sane_init; null when libsane refuses.
    static std::unique_ptr<SaneSession> start();
    ~SaneSession();  // sane_exit
    SaneSession(const SaneSession&) = delete;
    SaneSession& operator=(const SaneSession&) = delete;

    // The devices libsane lists now, local and networked, in its order.
    std::vector<DeviceEntry> devices() const;

private:
    SaneSession() = default;
};

}  // namespace sane_backend
