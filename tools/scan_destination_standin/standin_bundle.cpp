#include "tools/scan_destination_standin/standin_bundle.hpp"

#include <fstream>

#include "platform/plist/document.hpp"
#include "platform/plist/value.hpp"

namespace standin {

namespace {

constexpr const char* executable_name = "scan-destination-standin";

// One word for the shell, whatever it holds.
std::string shell_quoted(const std::string& word) {
    std::string out = "'";
    for (const char c : word) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

platform::Result<void> write_text(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return platform::Error{"cannot write " + path.string()};
    return {};
}

}  // namespace

platform::Result<void> make_standin_bundle(const std::filesystem::path& folder,
                                           const std::filesystem::path& program,
                                           platform::FourCharCode signature,
                                           const std::vector<std::string>& arguments) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path executable_folder = folder / "Contents" / "MacOS";
    fs::create_directories(executable_folder, error);
    if (error)
        return platform::Error{"cannot create " + executable_folder.string() + ": " +
                               error.message()};

    using platform::plist::Value;
    const auto info = Value::dictionary({
        {"CFBundleExecutable", Value::string(executable_name)},
        {"CFBundleIdentifier", Value::string("com.velmora.tools.scan-destination-standin")},
        {"CFBundleName", Value::string(folder.stem().string())},
        {"CFBundlePackageType", Value::string("APPL")},
        {"CFBundleSignature", Value::string(platform::four_char_string(signature))},
    });
    auto xml = platform::plist::to_xml(info);
    if (!xml) return xml.error();
    if (auto written = write_text(folder / "Contents" / "Info.plist", *xml); !written)
        return written;

    std::string script =
        "#!/bin/sh\n# The stand-in scan-destination application, with the options it was laid out "
        "with.\nexec " +
        shell_quoted(program.string());
    for (const auto& argument : arguments) script += " " + shell_quoted(argument);
    script += " \"$@\"\n";
    const fs::path executable = executable_folder / executable_name;
    if (auto written = write_text(executable, script); !written) return written;
    fs::permissions(executable,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                        fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::replace, error);
    if (error)
        return platform::Error{"cannot make " + executable.string() +
                               " executable: " + error.message()};
    return {};
}

}  // namespace standin
