#include "monitor/core/scanner_prefs.hpp"

#include "platform/prefs/domain.hpp"

namespace monitor {

namespace {

platform::prefs::Domain& ScannerPrefs() {
    return platform::prefs::shared_domain(ScannerPrefsDomain, platform::prefs::Scope::CurrentHost);
}

}  // namespace

void SetScannerPref(std::string_view key, const platform::plist::Value& value) {
    auto& domain = ScannerPrefs();
    (void)domain.synchronize();
    (void)domain.set_value(key, value);
    (void)domain.synchronize();
}

platform::plist::Value CopyScannerPref(std::string_view key) {
    auto& domain = ScannerPrefs();
    (void)domain.synchronize();
    auto value = domain.copy_value(key);
    (void)domain.synchronize();
    return value;
}

}  // namespace monitor
