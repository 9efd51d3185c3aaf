#pragma once
// Bundles laid out on disk for the tests of twain-source: the scanner bundle with its Info.plist,
// ICC profiles and features file, and backend bundles holding the test backend's code.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist/value.hpp"

namespace twain_testing {

// The installed locations below a test's root folder.
std::filesystem::path scanner_bundle_path(const std::filesystem::path& root);
std::filesystem::path backend_bundle_path(const std::filesystem::path& root);

// Writes the value as an XML property list, creating the parent folders.
void write_plist(const std::filesystem::path& file, const platform::plist::Value& value);

// A scanner bundle: Contents/Info.plist and an empty Contents/Resources/<name>.icc per profile.
void lay_out_scanner_bundle(const std::filesystem::path& folder, const platform::plist::Value& info,
                            std::initializer_list<std::string_view> profiles = {});

// An Info.plist holding every key the property inspector reads, with "ScannerProfile" "Color",
// "ScannerGrayProfile" "Gray" and "QSAPlistPath" naming features_path (a fixed path of the
// installed system).
platform::plist::Value full_scanner_info(std::string_view features_path);

// The features file: {"Features": {"Retractable USB Support": flag}}.
void write_features_file(const std::filesystem::path& file, bool retractable);

// A backend bundle whose executable (Contents/MacOS/<executable>) is a copy of code and whose
// NSPrincipalClass is principal_class.
void lay_out_backend_bundle(const std::filesystem::path& folder, const std::filesystem::path& code,
                            std::string_view principal_class,
                            std::string_view executable = "TestBackend");

}  // namespace twain_testing

namespace twain_testing {

// The 32 keys of the backend info dictionary, in the order in which they are set.
const std::vector<std::string>& all_info_dictionary_keys();

}  // namespace twain_testing
