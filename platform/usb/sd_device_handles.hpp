#pragma once
// Owners of libsystemd's device objects and small readers of their text fields, for the
// sources of this folder. Not part of the layer's interface.

#include <systemd/sd-device.h>

#include <memory>
#include <string>

namespace platform::usb::detail {

template <class T, T* (*Unref)(T*)>
struct Unreffer {
    void operator()(T* object) const noexcept { Unref(object); }
};

using DevicePtr = std::unique_ptr<sd_device, Unreffer<sd_device, sd_device_unref>>;
using EnumeratorPtr = std::unique_ptr<sd_device_enumerator,
                                      Unreffer<sd_device_enumerator, sd_device_enumerator_unref>>;
using MonitorPtr =
    std::unique_ptr<sd_device_monitor, Unreffer<sd_device_monitor, sd_device_monitor_unref>>;

// A text field of the device (sd_device_get_syspath, ..._get_devtype, ...); empty when unset.
inline std::string device_text(int (*get)(sd_device*, const char**), sd_device* device) {
    const char* value = nullptr;
    return get(device, &value) >= 0 && value ? std::string(value) : std::string();
}

inline std::string device_sysattr(sd_device* device, const char* name) {
    const char* value = nullptr;
    return sd_device_get_sysattr_value(device, name, &value) >= 0 && value ? std::string(value)
                                                                           : std::string();
}

}  // namespace platform::usb::detail
