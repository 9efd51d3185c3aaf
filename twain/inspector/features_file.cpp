// The features file: a property list, named by the Info.plist's "QSAPlistPath", whose
// "Features" dictionary holds the "Retractable USB Support" flag. Read on every call.

#include "platform/folders/folders.hpp"
#include "platform/plist/document.hpp"
#include "twain/inspector/number_value.hpp"
#include "twain/inspector/tds_property_inspector.hpp"

namespace twain {

int TDSPropertyInspector::retractableUSBSupport() const {
    const auto* path = mDictionary.get("QSAPlistPath").as_string();
    if (!path) return 0;
    // The path names a file of the installed system, so it is seen in the same view as the
    // fixed paths. The reader takes regular files only: a device or a pipe there would never end.
    const auto features = platform::plist::read_file(platform::folders::system_path(*path));
    if (!features) return 0;
    const auto flag = boolValue(features->get("Features").get("Retractable USB Support"));
    return flag.value_or(false) ? 1 : 0;
}

}  // namespace twain
