#pragma once
// The backend's own preferences: the domain "com.velmora.aio.datasource.sane" of the current
// user, any host, stored as $XDG_CONFIG_HOME/Preferences/com.velmora.aio.datasource.sane.plist
// ($HOME/.config/Preferences/... when XDG_CONFIG_HOME is unset), as every domain of the scanner
// software is. The backend only reads it.
//
//   SANEDevice   string   the SANE device to scan with, as libsane names it ("test:0",
//                         "epson2:libusb:001:004", "net:host:pixma:..."); absent or empty:
//                         the device is chosen automatically

#include <filesystem>
#include <string>

namespace sane_backend {

inline constexpr const char* kPreferencesDomain = "com.velmora.aio.datasource.sane";
inline constexpr const char* kDeviceKey = "SANEDevice";

// The domain's file for the current user, from the environment.
std::filesystem::path preferences_file();

// The device the preferences name; empty when none (missing, unreadable or damaged file, key
// absent or not a string).
std::string preferred_device(const std::filesystem::path& file);

}  // namespace sane_backend
