#pragma once
// The backend data source: the interface that twain-source asks of the bundle installed at
// "/Library/Printers/Velmora/Frameworks/VelDataSourceBackend.bundle". The bundle is built outside
// this project, from this header, twain/protocol/twain_types.hpp, twain/backend/
// info_dictionary_keys.hpp and platform/plist/value.hpp (installed under include/velmora, with
// libvelmora-plist.so.0 to link). BACKEND.md beside this header walks through a whole backend.
//
// The bundle
//   VelDataSourceBackend.bundle/Contents/Info.plist   names the executable (CFBundleExecutable)
//                                                     and the principal class (NSPrincipalClass)
//   VelDataSourceBackend.bundle/Contents/MacOS/<CFBundleExecutable>
//                                                     an ELF shared object, linked against
//                                                     libvelmora-plist.so.0
//
// The principal class
//   The shared object exports, with C linkage and default visibility, a constant
//   DataSourceBackendClass whose symbol name is the NSPrincipalClass string (so that string must
//   be a C identifier). twain-source loads the code (dlopen, RTLD_NOW | RTLD_LOCAL), looks the
//   symbol up (dlsym), checks interfaceVersion, calls alloc() for a new instance and then
//   initWithIdentity on it. A bundle with no NSPrincipalClass, no such symbol, another
//   interfaceVersion or an alloc that gives nothing has no usable principal class.
//
//       class ScanBackend final : public twain::DataSourceBackend { ... };
//       // Info.plist: <key>NSPrincipalClass</key> <string>VelScanBackend</string>
//       extern "C" VELMORA_TWAIN_EXPORT const twain::DataSourceBackendClass VelScanBackend =
//           twain::principalClass<ScanBackend>();
//
//   (The symbol and the C++ class need different names, since both live in the global scope
//   when the class is not in a namespace of its own.)
//
// Lifetime
//   At most one backend is created per process, by the first DS_Entry call that manages to
//   create one. twain-source keeps it in its exported gDataSource for the rest of the process
//   and never destroys it; the backend's code then stays loaded for good (RTLD_NODELETE), so
//   static objects of the bundle live as long as the process. An instance whose initWithIdentity
//   refuses is destroyed at once, through its virtual destructor, and the bundle's code is
//   unloaded again; the next DS_Entry call starts over with a new instance.
//
// Threads
//   DS_Entry, and with it every call below, runs on the host's calling thread; the host calls one
//   at a time. twain-source takes no lock.
//
// Binary compatibility
//   C++20 with libstdc++ (the new std::string ABI), as GCC 12 and Clang 14 build by default on
//   Debian 12: platform::plist::Value and std::unique_ptr cross this interface. Nothing may
//   throw across it: the operations are noexcept.

#include <cstdint>
#include <memory>
#include <type_traits>

#include "platform/plist/value.hpp"
#include "twain/protocol/twain_types.hpp"

// Gives a symbol default visibility in code built with -fvisibility=hidden.
#define VELMORA_TWAIN_EXPORT __attribute__((visibility("default")))

namespace twain {

class DataSourceBackend {
public:
    virtual ~DataSourceBackend() = default;
    DataSourceBackend(const DataSourceBackend&) = delete;
    DataSourceBackend& operator=(const DataSourceBackend&) = delete;

    // Called once, right after alloc(). Returns true when the backend is ready, false when it
    // refuses (it is then destroyed and DS_Entry reports TWRC_FAILURE to the host).
    //
    // identity: the data source's own TW_IDENTITY, a copy the backend may keep: Version 1.0
    //   (language TWLG_USA, country TWCY_USA, Info "1.0.0d0"), protocol 1.9, SupportedGroups
    //   DG_CONTROL | DG_IMAGE, Manufacturer "Velmora", ProductFamily "Velmora Scanners",
    //   ProductName "Velmora Q580n"; Id is 0 and every byte not set is 0. It is what a data
    //   source answers to DG_CONTROL/DAT_IDENTITY/MSG_GET.
    // dictionary: the backend info dictionary (info_dictionary_keys.hpp lists its keys and the
    //   kind of each value), or a null Value when none could be built. The handle shares the
    //   object: a backend that wants it after this call keeps a copy of the handle (or a
    //   deep_copy() of the value); the data source drops its own handle when its call ends.
    virtual bool initWithIdentity(TW_IDENTITY identity,
                                  const platform::plist::Value& dictionary) noexcept = 0;

    // Every DS_Entry call once the backend exists, with DS_Entry's arguments as the host gave
    // them: origin (the host's identity; null when the Source Manager probes the data source),
    // the data group, the data argument type and the message (both widened from 16 bits without
    // sign: 65535 arrives as 65535) and the triplet's data. The backend fills dataPtr and keeps
    // its condition code as the TWAIN standard asks of a data source, and returns a TWAIN return
    // code (TWRC_...); DS_Entry returns its low 16 bits to the host.
    virtual TW_UINT32 sendTripletWithSource(pTW_IDENTITY origin, TW_UINT32 dataGroup,
                                            TW_UINT32 data, TW_UINT32 message,
                                            TW_MEMREF dataPtr) noexcept = 0;

protected:
    DataSourceBackend() = default;
};

// The interface described here; a principal class built against another version is not used.
inline constexpr std::uint32_t kDataSourceBackendInterfaceVersion = 1;

// What the principal class symbol holds.
struct DataSourceBackendClass {
    std::uint32_t interfaceVersion;  // kDataSourceBackendInterfaceVersion
    // A new, not yet initialised instance, owned by the caller; null when none can be made.
    std::unique_ptr<DataSourceBackend> (*alloc)() noexcept;
};

// The principal class record of a backend type that is default-constructible.
template <class Backend>
constexpr DataSourceBackendClass principalClass() noexcept {
    static_assert(std::is_base_of_v<DataSourceBackend, Backend>);
    return {kDataSourceBackendInterfaceVersion,
            []() noexcept -> std::unique_ptr<DataSourceBackend> {
                return std::make_unique<Backend>();
            }};
}

}  // namespace twain
