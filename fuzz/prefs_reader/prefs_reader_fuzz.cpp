// Arbitrary bytes as a preference file: reading must never crash and always give a dictionary,
// and writing a change into such a file must keep unreadable contents aside, never lose them.
// The nesting check made before libplist reads XML must agree with libplist itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <plist/plist.h>

#include "platform/plist/document.hpp"
#include "platform/plist/xml_structure.hpp"
#include "platform/prefs/domain_file.hpp"

namespace {

namespace prefs = platform::prefs;
using platform::plist::Value;

std::filesystem::path make_scratch_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    return pattern;
}

void remove_scratch_folder();

const std::filesystem::path& scratch_folder() {
    static const std::filesystem::path folder = make_scratch_folder();
    // Registered after the folder's path is made, so it runs before the path is destroyed.
    static const bool removed_at_exit = std::atexit(remove_scratch_folder) == 0;
    (void)removed_at_exit;
    return folder;
}

void remove_scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_folder(), ignored);
}

void check(bool condition) {
    if (!condition) std::abort();
}

bool too_deep(const platform::Error& error) {
    return error.message.find("nested too deeply") != std::string::npos;
}

// A document the check calls malformed, libplist refuses too; one it passes makes no tree
// deeper than the limit (which the check on the built tree would report).
void check_xml_shape(std::span<const std::byte> document) {
    if (document.size() >= 8 && std::memcmp(document.data(), "bplist00", 8) == 0) return;
    const auto shape =
        platform::plist::check_xml_structure(document, platform::plist::max_nesting_depth);
    if (shape) {
        const auto parsed = platform::plist::parse(document);
        check(parsed || !too_deep(parsed.error()));
    } else if (shape.error().message == "malformed property list") {
        plist_t root = nullptr;
        plist_from_memory(reinterpret_cast<const char*>(document.data()),
                          static_cast<std::uint32_t>(document.size()), &root);
        check(root == nullptr);
        plist_free(root);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto file = scratch_folder() / "domain.plist";
    const auto aside = scratch_folder() / "domain.plist.corrupt";
    std::filesystem::remove(aside);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    check_xml_shape(std::as_bytes(std::span(data, size)));
    const auto read = prefs::read_domain_file(file);
    check(read.values.is(platform::plist::Type::Dictionary));
    const auto parsed = prefs::parse_domain(std::as_bytes(std::span(data, size)));
    check(read.state == (size == 0 ? prefs::FileState::Empty
                         : parsed  ? prefs::FileState::Loaded
                                   : prefs::FileState::Corrupt));
    if (parsed) {
        // Compared in their written form, where a NaN equals itself.
        const auto from_file = platform::plist::to_xml(read.values);
        const auto from_bytes = platform::plist::to_xml(*parsed);
        check(from_file.ok() == from_bytes.ok() && (!from_file || *from_file == *from_bytes));
    }

    auto written = prefs::write_domain_changes(file, {{"fuzz", Value::integer(1)}});
    if (read.state == prefs::FileState::Corrupt) check(std::filesystem::file_size(aside) == size);
    if (written) check(prefs::read_domain_file(file).values.get("fuzz") == Value::integer(1));
    return 0;
}
