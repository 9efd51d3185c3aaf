#include "monitor/hubprefs/hub_prefs.hpp"

#include <utility>
#include <vector>

#include "monitor/hubprefs/name_compare.hpp"
#include "monitor/hubprefs/signature_string.hpp"
#include "platform/base/os_status.hpp"
#include "platform/base/system_version.hpp"
#include "platform/plist/file_url.hpp"
#include "platform/prefs/application_id.hpp"
#include "platform/prefs/domain.hpp"

namespace monitor {

namespace {

using platform::plist::Type;
using platform::plist::Value;

constexpr std::string_view ApplicationListKey = "ApplicationList";
constexpr std::string_view ApplicationNameKey = "ApplicationName";
constexpr std::string_view ApplicationLocationKey = "ApplicationLocation";
constexpr std::string_view ApplicationSignatureKey = "ApplicationSignature";
constexpr std::string_view ApplicationTWAINTypeKey = "ApplicationTWAINType";
constexpr std::string_view OpNameKey = "OpName";
constexpr std::string_view ShowScanUIKey = "ShowScanUIForButtonPress";
constexpr std::string_view ShowCopyUIKey = "ShowCopyUIForButtonPress";
constexpr std::string_view ChooseFileLocationSetKey = "ChooseFileLocationSet";
constexpr std::string_view SaveFileLocationSetKey = "SaveFileLocationSet";

platform::prefs::Domain& AppPrefs(const std::string& applicationID) {
    return platform::prefs::shared_domain(applicationID, platform::prefs::Scope::AnyHost);
}

// A setting read as a long, with its default when absent or not a number.
long LongSetting(const std::string& applicationID, std::string_view key, long fallback) {
    const auto number = AppPrefs(applicationID).copy_value(key).to_int64();
    return number ? static_cast<long>(*number) : fallback;
}

std::string NameOf(const Value& entry) {
    const Value value = entry.get(ApplicationNameKey);
    const std::string* name = value.as_string();
    return name ? *name : std::string();
}

// The URL string of a file URL value; empty for anything else.
std::optional<std::string> UrlString(const Value& location) {
    const auto* path = location.as_file_url();
    if (!path) return std::nullopt;
    return platform::plist::file_url_string(*path);
}

void FillEntry(Value& entry, std::string_view name, const std::string& location,
               platform::FourCharCode code, const Value& twainType) {
    entry.set(ApplicationNameKey, Value::string(std::string(name)));
    entry.set(ApplicationLocationKey, Value::string(location));
    entry.set(ApplicationSignatureKey, Value::string(SignatureString(code)));
    entry.set(ApplicationTWAINTypeKey, twainType.deep_copy());
}

// Gives the list back the items it held before an edit the preferences refused.
void PutBack(Value& list, const std::vector<Value>& items) {
    while (list.size() > 0) list.remove_at(list.size() - 1);
    for (const auto& item : items) list.append(item);
}

}  // namespace

HubPrefs::HubPrefs(bool editableFlag, std::optional<std::string> identifier)
    : applicationID(identifier ? std::move(*identifier)
                               : platform::prefs::current_application_id()),
      editable(editableFlag) {}

HubPrefs::~HubPrefs() = default;

bool HubPrefs::Synchronize() { return AppPrefs(applicationID).synchronize().ok(); }

void HubPrefs::SetFlag(bool value) { flag = value; }

bool HubPrefs::ShowScanUIForButtonPress() {
    return LongSetting(applicationID, ShowScanUIKey, 1) == 1;
}

bool HubPrefs::ShowCopyUIForButtonPress() {
    return LongSetting(applicationID, ShowCopyUIKey, 0) == 1;
}

std::uint16_t HubPrefs::ApplicationCount() {
    return static_cast<std::uint16_t>(ApplicationList().size());
}

long HubPrefs::IndexOfApplicationName(std::string_view name) {
    const long count = ApplicationCount();
    for (long i = 0; i < count; ++i) {
        const Value value = ApplicationNameAt(i);
        const std::string* candidate = value.as_string();
        if (candidate && *candidate == name) return i;
    }
    return -1;
}

Value HubPrefs::ApplicationNameAt(long i) { return ApplicationValueAt(i, ApplicationNameKey); }

Value HubPrefs::OpNameAt(long i) { return ApplicationValueAt(i, OpNameKey); }

platform::FourCharCode HubPrefs::ApplicationSignatureAt(long i) {
    // Held here: a subclass may hand out a value that nothing else keeps.
    const Value value = ApplicationValueAt(i, ApplicationSignatureKey);
    const std::string* text = value.as_string();
    if (!text) return 0;
    return SignatureCode(*text).value_or(0);
}

std::int16_t HubPrefs::ApplicationTWAINTypeValueAt(long i) {
    const auto number = ApplicationTWAINTypeAt(i).to_int64();
    return number ? static_cast<std::int16_t>(*number) : std::int16_t{0};
}

Value HubPrefs::ApplicationTWAINTypeAt(long i) {
    return ApplicationValueAt(i, ApplicationTWAINTypeKey);
}

std::int32_t HubPrefs::ApplicationFSSpecAt(long i, platform::folders::FileRef& fileRef) {
    const Value location = ApplicationLocationAt(i);
    const auto* path = location.as_file_url();
    if (!path) return platform::os_status::fnfErr;
    auto reference = platform::folders::make_file_ref(*path);
    if (!reference) return reference.error().status;
    fileRef = std::move(reference.value());
    return platform::os_status::noErr;
}

Value HubPrefs::ApplicationLocationAt(long i) {
    const Value value = ApplicationValueAt(i, ApplicationLocationKey);
    const std::string* text = value.as_string();
    if (!text) return Value();
    const auto path = platform::plist::path_from_file_url_string(*text);
    return path ? Value::file_url(*path) : Value();
}

bool HubPrefs::HasApplicationNamed(std::string_view name, platform::FourCharCode code) {
    const long count = ApplicationCount();
    for (long i = 0; i < count; ++i) {
        const Value value = ApplicationNameAt(i);
        const std::string* candidate = value.as_string();
        if (candidate && EqualIgnoringCase(*candidate, name) && ApplicationSignatureAt(i) == code) {
            return true;
        }
    }
    return false;
}

bool HubPrefs::HasApplicationAtLocation(const Value& location, platform::FourCharCode code) {
    const auto wanted = UrlString(location);
    if (!wanted) return false;
    const long count = ApplicationCount();
    for (long i = 0; i < count; ++i) {
        const auto candidate = UrlString(ApplicationLocationAt(i));
        if (candidate && EqualIgnoringCase(*candidate, *wanted) &&
            ApplicationSignatureAt(i) == code) {
            return true;
        }
    }
    return false;
}

bool HubPrefs::AddApplication(std::string_view name, const Value& location,
                              platform::FourCharCode code, const Value& twainType, Value* entry) {
    if (!IsEditable()) return false;
    const auto url = UrlString(location);
    Value list = MutableApplicationList();
    if (!url || !list) return false;
    Value added = Value::dictionary();
    FillEntry(added, name, *url, code, twainType);
    const std::vector<Value> before(list.items().begin(), list.items().end());
    list.append(added);
    list.sort([](const Value& a, const Value& b) { return CollatesBefore(NameOf(a), NameOf(b)); });
    if (!StoreList(list)) {
        PutBack(list, before);
        return false;
    }
    if (entry) *entry = added;
    return true;
}

void HubPrefs::ReplaceApplicationAt(long i, std::string_view name, const Value& location,
                                    platform::FourCharCode code, const Value& twainType) {
    if (!IsEditable()) return;
    const auto url = UrlString(location);
    Value list = MutableApplicationList();
    if (!url || !list || i < 0 || static_cast<std::size_t>(i) >= list.size()) return;
    Value replacement = ApplicationAt(i).deep_copy();
    if (!replacement.is(Type::Dictionary)) replacement = Value::dictionary();
    FillEntry(replacement, name, *url, code, twainType);
    const Value previous = list.at(static_cast<std::size_t>(i));
    list.set_at(static_cast<std::size_t>(i), replacement);
    if (!StoreList(list)) list.set_at(static_cast<std::size_t>(i), previous);
}

platform::FourCharCode HubPrefs::PlatformSignature() {
    return (platform::system_version_bcd() & 0xFF00) >= 0x1000 ? platform::four_char_code("FRSX")
                                                               : platform::four_char_code("FRSP");
}

bool HubPrefs::MarkChooseFileLocationSet() { return MarkStepSet(ChooseFileLocationSetKey); }

bool HubPrefs::MarkSaveFileLocationSet() { return MarkStepSet(SaveFileLocationSetKey); }

Value HubPrefs::ApplicationList() {
    if (applicationList) return applicationList;
    auto& prefs = AppPrefs(applicationID);
    // The copy is the object's own, so an editable object may change it freely.
    auto stored = prefs.look_up(ApplicationListKey);
    // The file may well hold a list that could not be read for now: no list is cached, so the
    // next use reads again, and none is stored over it.
    if (!stored) return Value();
    if (stored->is(Type::Array)) {
        applicationList = std::move(stored.value());
        return applicationList;
    }
    applicationList = Value::array();
    // A value of another kind is left as it is for its owner; this object sees no entries.
    if (stored->is_null()) {
        (void)prefs.set_value(ApplicationListKey, applicationList);
        Synchronize();
    }
    return applicationList;
}

Value HubPrefs::MutableApplicationList() { return IsEditable() ? ApplicationList() : Value(); }

Value HubPrefs::ApplicationAt(long i) {
    if (i < 0) return Value();
    return ApplicationList().at(static_cast<std::size_t>(i));
}

long HubPrefs::IndexOfApplication(const Value& entry) {
    if (!entry) return -1;
    const long count = ApplicationCount();
    for (long i = 0; i < count; ++i) {
        if (ApplicationAt(i).same_object(entry)) return i;
    }
    return -1;
}

void HubPrefs::RemoveApplication(const Value& entry) {
    if (!IsEditable()) return;
    Value list = MutableApplicationList();
    const long index = IndexOfApplication(entry);
    if (!list || index < 0) return;
    const Value removed = list.at(static_cast<std::size_t>(index));
    list.remove_at(static_cast<std::size_t>(index));
    if (!StoreList(list)) list.insert_at(static_cast<std::size_t>(index), removed);
}

Value HubPrefs::ApplicationValueAt(long i, std::string_view key) {
    return ApplicationAt(i).get(key);
}

bool HubPrefs::IsEditable() { return editable; }

bool HubPrefs::MarkStepSet(std::string_view key) {
    auto& prefs = AppPrefs(applicationID);
    if (prefs.copy_value(key)) return true;
    (void)prefs.set_value(key, Value::boolean(true));
    Synchronize();
    return false;
}

bool HubPrefs::StoreList(const Value& list) {
    if (!AppPrefs(applicationID).set_value(ApplicationListKey, list)) return false;
    // A write that fails now stays pending in the preferences, for a later synchronization.
    Synchronize();
    return true;
}

}  // namespace monitor
