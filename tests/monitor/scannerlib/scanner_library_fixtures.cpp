#include "tests/monitor/scannerlib/scanner_library_fixtures.hpp"

#include <gtest/gtest.h>

#include "platform/folders/folders.hpp"
#include "platform/plist/document.hpp"
#include "platform/prefs/location.hpp"
#include "tests/support/temp_dir.hpp"
#include "tools/scanner_sample_library/sample_bundle_layout.hpp"

namespace scannerlib_test {

using platform::plist::Value;

std::filesystem::path ScannerBundle() {
    return platform::folders::system_path(
        "/Library/Application Support/Velmora/7720 Series Scanner.bundle");
}

std::filesystem::path LibraryBundle() {
    return ScannerBundle() / "Contents/SharedSupport/7720ScannerLib.bundle";
}

void InstallLibraryCode(const std::filesystem::path& code) {
    const auto info = Value::dictionary({{"CFBundleExecutable", Value::string("7720ScannerLib")}});
    testing_support::write_file(LibraryBundle() / "Contents/Info.plist",
                                *platform::plist::to_xml(info));
    std::filesystem::create_directories(LibraryBundle() / "Contents/MacOS");
    std::filesystem::copy_file(code, LibraryBundle() / "Contents/MacOS/7720ScannerLib");
}

std::filesystem::path InstallSampleLibrary(const scanner_sample::Settings& settings) {
    const auto made =
        scanner_sample::make_sample_bundle(SAMPLE_LIBRARY_BUNDLE, LibraryBundle(), settings);
    EXPECT_TRUE(made) << made.error().message;
    return scanner_sample::record_path(LibraryBundle(), settings);
}

void StoreApplicationList(const std::vector<Value>& panelNames) {
    std::vector<Value> entries;
    for (std::size_t i = 0; i < panelNames.size(); ++i) {
        Value entry = Value::dictionary({
            {"ApplicationName", Value::string("Application " + std::to_string(i))},
            {"ApplicationLocation",
             Value::string("file:///Applications/App" + std::to_string(i) + ".app/")},
            {"ApplicationSignature",
             Value::string("APP" + std::string(1, static_cast<char>('A' + i % 26)))},
            {"ApplicationTWAINType", Value::integer(1)},
        });
        if (panelNames[i]) entry.set("OpName", panelNames[i]);
        entries.push_back(std::move(entry));
    }
    const auto file = platform::prefs::domain_path("com.velmora.aio.scanhub.2007",
                                                   platform::prefs::Scope::AnyHost);
    ASSERT_TRUE(file);
    const auto values = Value::dictionary({{"ApplicationList", Value::array(std::move(entries))}});
    testing_support::write_file(*file, *platform::plist::to_xml(values));
}

std::vector<scanner_sample::RecordedCall> CallsNamed(
    const std::vector<scanner_sample::RecordedCall>& calls, const char* name) {
    std::vector<scanner_sample::RecordedCall> named;
    for (const auto& call : calls) {
        if (call.name == name) named.push_back(call);
    }
    return named;
}

std::vector<std::uint8_t> PreviewMailBlock() {
    return {0x04, 0xE4, 0x04, 0x00, 'F',  'i',  'l', 'e',  0x09, 0x00, 'C', 'l',
            'i',  'p',  'b',  'o',  'a',  'r',  'd', 0x07, 0x00, 'P',  'r', 'e',
            'v',  'i',  'e',  'w',  0x04, 0x00, 'M', 'a',  'i',  'l'};
}

}  // namespace scannerlib_test
