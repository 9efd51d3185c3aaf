// monitor::SetScannerPref(std::string_view, const platform::plist::Value&) behind the linker's
// --wrap: callers reach __wrap_<symbol>, and __real_<symbol> is the function itself. C linkage
// keeps the names as written; the arguments are passed as the C++ function's are.

#include <string>
#include <string_view>

#include "platform/plist/describe.hpp"
#include "platform/plist/value.hpp"
#include "tests/monitor/netport/recorded_calls.hpp"

extern "C" {
void __real__ZN7monitor14SetScannerPrefESt17basic_string_viewIcSt11char_traitsIcEERKN8platform5plist5ValueE(
    std::string_view key, const platform::plist::Value& value);
void __wrap__ZN7monitor14SetScannerPrefESt17basic_string_viewIcSt11char_traitsIcEERKN8platform5plist5ValueE(
    std::string_view key, const platform::plist::Value& value);
}

// Recorded once written, so a test that sees a write recorded finds it on disk.
void __wrap__ZN7monitor14SetScannerPrefESt17basic_string_viewIcSt11char_traitsIcEERKN8platform5plist5ValueE(
    std::string_view key, const platform::plist::Value& value) {
    netport_testing::BeforePrefWrite(key);
    __real__ZN7monitor14SetScannerPrefESt17basic_string_viewIcSt11char_traitsIcEERKN8platform5plist5ValueE(
        key, value);
    netport_testing::RecordCall(std::string(key) + " = " +
                                (value ? platform::plist::describe(value) : "(removed)"));
}
