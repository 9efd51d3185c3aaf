#pragma once
// HubPrefs: the monitor's view of the scan-destination application's preferences, the list of
// applications a scan can be sent to and the user's choices about button presses.
//
// Stored form, in the application preferences of the object's identifier (current user, any
// host; the scan-destination application's is "com.velmora.aio.scanhub.2007"):
//   "ApplicationList"           array of dictionaries, sorted by name when edited here:
//       "ApplicationName"       string, the display name
//       "ApplicationLocation"   string, the application's file URL ("file:///Applications/...")
//       "ApplicationSignature"  string of four characters, the creator code (signature_string.hpp)
//       "ApplicationTWAINType"  the application's TWAIN kind, a number when read as one
//       "OpName"                string, the name on the device's panel; written only by the
//                               scan-destination application
//   "ShowScanUIForButtonPress"  number; 1 (the default) shows the scan interface on a press
//   "ShowCopyUIForButtonPress"  number; 1 shows the copy interface (default 0)
//   "ChooseFileLocationSet", "SaveFileLocationSet"   booleans, present once the step was done
//
// The list is read once per object, on first use, and kept; an object does not see later
// changes of other processes. A read-only object never changes the list and its editing
// operations do nothing. Every lookup goes through the virtual operations, so a subclass that
// replaces ApplicationList or ApplicationValueAt changes every reader. Indexes are zero-based;
// an index outside the list gives null values (and code 0).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/four_char_code.hpp"
#include "platform/folders/file_ref.hpp"
#include "platform/plist/value.hpp"

namespace monitor {

class HubPrefs {
public:
    // Without an identifier, the running program's own is used: its name as started
    // (platform::prefs::current_application_id).
    HubPrefs(bool editableFlag, std::optional<std::string> identifier);
    HubPrefs(const HubPrefs&) = delete;
    HubPrefs& operator=(const HubPrefs&) = delete;
    // Writes nothing back.
    virtual ~HubPrefs();

    // Writes this process's changes of the preferences and reloads them from disk.
    virtual bool Synchronize();
    // A flag that no operation of the class consults (initially true).
    virtual void SetFlag(bool flag);
    virtual bool ShowScanUIForButtonPress();
    virtual bool ShowCopyUIForButtonPress();
    virtual std::uint16_t ApplicationCount();
    // The first entry named exactly so; -1 when none is.
    virtual long IndexOfApplicationName(std::string_view name);
    virtual platform::plist::Value ApplicationNameAt(long i);
    // Null when the entry has no "OpName".
    virtual platform::plist::Value OpNameAt(long i);
    // 0 when the stored signature is not four characters.
    virtual platform::FourCharCode ApplicationSignatureAt(long i);
    // The TWAIN kind as a 16-bit number; 0 when it is not a number.
    virtual std::int16_t ApplicationTWAINTypeValueAt(long i);
    virtual platform::plist::Value ApplicationTWAINTypeAt(long i);
    // Fills the reference of the file at the entry's location: 0, or -43 (fnfErr) when the
    // location names nothing that exists. The reference is left alone on failure.
    virtual std::int32_t ApplicationFSSpecAt(long i, platform::folders::FileRef& fileRef);
    // A new file URL value; null when the entry's location is not a file URL.
    virtual platform::plist::Value ApplicationLocationAt(long i);
    // An entry with that name, ignoring case, and that signature.
    virtual bool HasApplicationNamed(std::string_view name, platform::FourCharCode code);
    // An entry at that file URL, compared as URL strings ignoring case, with that signature.
    virtual bool HasApplicationAtLocation(const platform::plist::Value& location,
                                          platform::FourCharCode code);
    // Adds an entry, sorts the list by name in the process's collation, stores it and
    // synchronizes. False, and nothing changes, when the object is read-only, the location is
    // not a file URL, the list cannot be read for now, or the preferences refuse the list (a name
    // or code holding a zero byte, a TWAIN type with no property-list form). A write to disk that
    // fails is made by a later synchronization, as for any preference. The new entry is handed
    // back through entry when it is not null and the entry was added.
    virtual bool AddApplication(std::string_view name, const platform::plist::Value& location,
                                platform::FourCharCode code,
                                const platform::plist::Value& twainType,
                                platform::plist::Value* entry);
    // Puts a changed copy of entry i in its place (no re-sort), stores and synchronizes. Does
    // nothing when read-only, i is outside the list, the location is not a file URL, or the
    // preferences refuse the changed list.
    virtual void ReplaceApplicationAt(long i, std::string_view name,
                                      const platform::plist::Value& location,
                                      platform::FourCharCode code,
                                      const platform::plist::Value& twainType);
    // 'FRSX' on a system of version 10 or later, otherwise 'FRSP'.
    virtual platform::FourCharCode PlatformSignature();
    // True when the step was marked before; otherwise marks it, synchronizes and answers false.
    virtual bool MarkChooseFileLocationSet();
    virtual bool MarkSaveFileLocationSet();
    // The object's list (an array handle shared with the object), loaded on first use. When
    // nothing is stored, an empty list is stored and synchronized. Null while the preferences
    // file cannot be read (a passing fault): nothing is stored then, and the next use reads again.
    virtual platform::plist::Value ApplicationList();
    // The list when the object is editable, null otherwise.
    virtual platform::plist::Value MutableApplicationList();
    virtual platform::plist::Value ApplicationAt(long i);
    // The position of that very entry object (identity, not equality); -1 when absent.
    virtual long IndexOfApplication(const platform::plist::Value& entry);
    // Removes that very entry object, stores the list and synchronizes; the entry stays when
    // the preferences refuse the changed list.
    virtual void RemoveApplication(const platform::plist::Value& entry);
    virtual platform::plist::Value ApplicationValueAt(long i, std::string_view key);
    virtual bool IsEditable();

private:
    bool MarkStepSet(std::string_view key);
    // False, and nothing stored, when the preferences refuse the list.
    bool StoreList(const platform::plist::Value& list);

    std::string applicationID;
    platform::plist::Value applicationList;  // null until first use
    bool editable;
    bool flag = true;
};

}  // namespace monitor
