// The backend info dictionary built from arbitrary Info.plist bytes in the scanner bundle. Beside
// crashes and leaks it checks what the backend is promised: 25 to 32 keys, in their order, each
// of its kind, never a null value.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/folders/folders.hpp"
#include "platform/plist/value.hpp"
#include "twain/utility/tds_utility.hpp"

namespace {

namespace fs = std::filesystem;
using platform::plist::IntegerKind;
using platform::plist::Type;
using platform::plist::Value;

enum class Kind { FileUrl, String, Int32, Real, Boolean, AsStored };

const std::vector<std::pair<std::string, Kind>>& promised_keys() {
    static const std::vector<std::pair<std::string, Kind>> keys = {
        {"dKeyDriverURL", Kind::FileUrl},
        {"dKeyImagingURL", Kind::String},
        {"dKeyColorDepth", Kind::Int32},
        {"dKeyResolution", Kind::Int32},
        {"dKeyDescreen", Kind::Int32},
        {"dKeyAutocrop", Kind::Int32},
        {"dKeyCustomLayoutOffsetX", Kind::Real},
        {"dKeyCustomLayoutOffsetY", Kind::Real},
        {"dKeyCustomLayoutWidth", Kind::Real},
        {"dKeyCustomLayoutHeight", Kind::Real},
        {"dKeyVID", Kind::Int32},
        {"dKeyPID", Kind::Int32},
        {"dKeySupportedRes", Kind::AsStored},
        {"dKeyHelpPath", Kind::AsStored},
        {"dKeyRetractableUSBSupport", Kind::Boolean},
        {"dKeyICCColorFilePath", Kind::String},
        {"dKeyICCGrayFilePath", Kind::String},
        {"dKeyFBOpticalXRes", Kind::Int32},
        {"dKeyFBOpticalYRes", Kind::Int32},
        {"dKeyScannerWidth", Kind::Real},
        {"dKeyScannerHeight", Kind::Real},
        {"dKeyADFSupported", Kind::Boolean},
        {"dKeyADFIsFlipped", Kind::Boolean},
        {"dKeyADFAllowPreview", Kind::Boolean},
        {"dKeyADFOpticalXRes", Kind::Int32},
        {"dKeyADFOpticalYRes", Kind::Int32},
        {"dKeyADFScannerWidth", Kind::Real},
        {"dKeyADFScannerHeight", Kind::Real},
        {"dKeyProductName", Kind::AsStored},
        {"dKeyDefaultFilename", Kind::AsStored},
        {"dKeyDefaultResolution", Kind::AsStored},
        {"dKeyObjCScanDriverBundle", Kind::Boolean},
    };
    return keys;
}

bool has_kind(const Value& value, Kind kind) {
    switch (kind) {
        case Kind::FileUrl: return value.is(Type::FileUrl);
        case Kind::String: return value.is(Type::String);
        case Kind::Int32: return value.integer_kind() == IntegerKind::SInt32;
        case Kind::Real: return value.is(Type::Real);
        case Kind::Boolean: return value.is(Type::Boolean);
        case Kind::AsStored: return !value.is_null();
    }
    return false;
}

void check(bool promise_kept) {
    if (!promise_kept) __builtin_trap();
}

// A private view with a scanner bundle, two profiles and a features file that inputs can name.
struct View {
    View() {
        std::string pattern = (fs::temp_directory_path() / "twain-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root = pattern;
        bundle = root / "Library/Application Support/Velmora/Q580n Scanner.bundle";
        fs::create_directories(bundle / "Contents/Resources");
        std::ofstream(bundle / "Contents/Resources/Color.icc") << "profile";
        std::ofstream(bundle / "Contents/Resources/Gray.icc") << "profile";
        fs::create_directories(root / "Library/Printers/Velmora");
        std::ofstream(root / "Library/Printers/Velmora/QSA.plist")
            << "<plist><dict><key>Features</key><dict><key>Retractable USB Support</key>"
               "<true/></dict></dict></plist>";
        platform::folders::set_root(root);
    }
    View(const View&) = delete;
    View& operator=(const View&) = delete;
    ~View() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    fs::path root;
    fs::path bundle;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const View view;
    std::ofstream(view.bundle / "Contents/Info.plist", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const Value info = twain::TDSUtility::getInfoDictWithBundlePath(
        view.bundle, view.bundle / "Contents/SharedSupport/Q580nScannerLib.bundle");
    check(info.is(Type::Dictionary) && info.size() >= 25 && info.size() <= 32);
    const auto& promised = promised_keys();
    std::size_t next = 0;
    for (const auto& [key, value] : info.entries()) {
        while (next < promised.size() && promised[next].first != key) ++next;
        check(next < promised.size() && has_kind(value, promised[next].second));
        ++next;
    }
    return 0;
}
