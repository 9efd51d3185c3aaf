#include "tools/twain_host/triplet_call.hpp"

#include <cstdio>
#include <cstring>
#include <string>

#include "twain/protocol/twain_constants.hpp"

namespace twain_host {

namespace {

using namespace twain;

// A TW_STRnn field as quoted text: up to its NUL, never beyond the field, unprintable bytes
// escaped.
template <std::size_t Size>
std::string quoted(const char (&field)[Size]) {
    std::string text = "\"";
    for (std::size_t i = 0; i < ::strnlen(field, Size); ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text + "\"";
}

std::string hex32(TW_UINT32 value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

// Room for the data of any triplet this host does not know, so a data source that writes a
// record there does not write into something else.
struct alignas(alignof(std::max_align_t)) ScratchData {
    unsigned char bytes[4096];
};

}  // namespace

void print_identity(const TW_IDENTITY& identity, std::ostream& out, std::string_view indent) {
    out << indent << "Id               " << identity.Id << '\n'
        << indent << "Version          " << identity.Version.MajorNum << '.'
        << identity.Version.MinorNum << "  language " << identity.Version.Language << "  country "
        << identity.Version.Country << "  " << quoted(identity.Version.Info) << '\n'
        << indent << "Protocol         " << identity.ProtocolMajor << '.' << identity.ProtocolMinor
        << '\n'
        << indent << "SupportedGroups  " << hex32(identity.SupportedGroups) << "  "
        << data_group_bits(identity.SupportedGroups) << '\n'
        << indent << "Manufacturer     " << quoted(identity.Manufacturer) << '\n'
        << indent << "ProductFamily    " << quoted(identity.ProductFamily) << '\n'
        << indent << "ProductName      " << quoted(identity.ProductName) << '\n';
}

TW_UINT16 send_triplet(DSENTRYPROC entry, pTW_IDENTITY origin, const Triplet& triplet,
                       std::ostream& out, std::string_view indent) {
    TW_IDENTITY identity{};
    TW_STATUS status{};
    TW_USERINTERFACE user_interface{};
    ScratchData scratch{};
    TW_MEMREF data = &scratch;
    if (triplet.data_argument_type == DAT_IDENTITY) {
        // Opening and closing name the data source by its identity, with the Id the Source
        // Manager gave it.
        if (triplet.message != MSG_GET) identity.Id = 1;
        data = &identity;
    } else if (triplet.data_argument_type == DAT_STATUS) {
        data = &status;
    } else if (triplet.data_argument_type == DAT_USERINTERFACE) {
        user_interface.ShowUI = 1;
        data = &user_interface;
    }

    const TW_UINT16 code =
        entry(origin, triplet.data_group, triplet.data_argument_type, triplet.message, data);
    out << indent << triplet_name(triplet) << " -> " << return_code_name(code) << '\n';
    if (code != TWRC_SUCCESS || triplet.data_group != DG_CONTROL || triplet.message != MSG_GET) {
        return code;
    }
    const std::string inner = std::string(indent) + "  ";
    if (triplet.data_argument_type == DAT_IDENTITY) print_identity(identity, out, inner);
    if (triplet.data_argument_type == DAT_STATUS) {
        out << inner << "ConditionCode    " << condition_code_name(status.ConditionCode) << '\n';
    }
    return code;
}

}  // namespace twain_host
