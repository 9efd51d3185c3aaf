// monitor::SetScannerPref and CopyScannerPref for the port's tests, linked in place of the
// monitor's own (monitor_scannerprefs): the values are stored in the same preferences domain, and
// every write is recorded once it is stored, so a test that sees a write recorded finds it on
// disk.

#include "monitor/core/scanner_prefs.hpp"

#include <string>

#include "platform/plist/describe.hpp"
#include "platform/prefs/domain.hpp"
#include "tests/monitor/netport/recorded_calls.hpp"

namespace monitor {

namespace {

platform::prefs::Domain& Prefs() {
    return platform::prefs::shared_domain(ScannerPrefsDomain, platform::prefs::Scope::CurrentHost);
}

}  // namespace

void SetScannerPref(std::string_view key, const platform::plist::Value& value) {
    netport_testing::BeforePrefWrite(key);
    auto& domain = Prefs();
    (void)domain.synchronize();
    (void)domain.set_value(key, value);
    (void)domain.synchronize();
    netport_testing::RecordCall(std::string(key) + " = " +
                                (value ? platform::plist::describe(value) : "(removed)"));
}

platform::plist::Value CopyScannerPref(std::string_view key) {
    auto& domain = Prefs();
    (void)domain.synchronize();
    auto value = domain.copy_value(key);
    (void)domain.synchronize();
    return value;
}

}  // namespace monitor
