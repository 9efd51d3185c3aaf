#include "tools/twain_host/triplet_names.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <span>

#include "sane_backend/protocol/twain_codes.hpp"

namespace twain_host {

namespace {

using namespace twain;

struct Name {
    TW_UINT32 value;
    std::string_view name;
};

constexpr Name kDataGroups[] = {
    {DG_CONTROL, "DG_CONTROL"}, {DG_IMAGE, "DG_IMAGE"}, {DG_AUDIO, "DG_AUDIO"}};

constexpr Name kDataArgumentTypes[] = {
    {DAT_NULL, "DAT_NULL"},
    {DAT_CAPABILITY, "DAT_CAPABILITY"},
    {DAT_EVENT, "DAT_EVENT"},
    {DAT_IDENTITY, "DAT_IDENTITY"},
    {DAT_PARENT, "DAT_PARENT"},
    {DAT_PENDINGXFERS, "DAT_PENDINGXFERS"},
    {DAT_SETUPMEMXFER, "DAT_SETUPMEMXFER"},
    {DAT_SETUPFILEXFER, "DAT_SETUPFILEXFER"},
    {DAT_STATUS, "DAT_STATUS"},
    {DAT_USERINTERFACE, "DAT_USERINTERFACE"},
    {DAT_XFERGROUP, "DAT_XFERGROUP"},
    {DAT_CUSTOMDSDATA, "DAT_CUSTOMDSDATA"},
    {DAT_DEVICEEVENT, "DAT_DEVICEEVENT"},
    {DAT_FILESYSTEM, "DAT_FILESYSTEM"},
    {DAT_PASSTHRU, "DAT_PASSTHRU"},
    {DAT_CALLBACK, "DAT_CALLBACK"},
    {DAT_CALLBACK2, "DAT_CALLBACK2"},
    {DAT_ENTRYPOINT, "DAT_ENTRYPOINT"},
    {DAT_IMAGEINFO, "DAT_IMAGEINFO"},
    {DAT_IMAGELAYOUT, "DAT_IMAGELAYOUT"},
    {DAT_IMAGEMEMXFER, "DAT_IMAGEMEMXFER"},
    {DAT_IMAGENATIVEXFER, "DAT_IMAGENATIVEXFER"},
    {DAT_IMAGEFILEXFER, "DAT_IMAGEFILEXFER"},
};

constexpr Name kMessages[] = {
    {MSG_NULL, "MSG_NULL"},
    {MSG_GET, "MSG_GET"},
    {MSG_GETCURRENT, "MSG_GETCURRENT"},
    {MSG_GETDEFAULT, "MSG_GETDEFAULT"},
    {MSG_GETFIRST, "MSG_GETFIRST"},
    {MSG_GETNEXT, "MSG_GETNEXT"},
    {MSG_SET, "MSG_SET"},
    {MSG_RESET, "MSG_RESET"},
    {MSG_QUERYSUPPORT, "MSG_QUERYSUPPORT"},
    {MSG_XFERREADY, "MSG_XFERREADY"},
    {MSG_CLOSEDSREQ, "MSG_CLOSEDSREQ"},
    {MSG_CLOSEDSOK, "MSG_CLOSEDSOK"},
    {MSG_DEVICEEVENT, "MSG_DEVICEEVENT"},
    {MSG_OPENDSM, "MSG_OPENDSM"},
    {MSG_CLOSEDSM, "MSG_CLOSEDSM"},
    {MSG_OPENDS, "MSG_OPENDS"},
    {MSG_CLOSEDS, "MSG_CLOSEDS"},
    {MSG_USERSELECT, "MSG_USERSELECT"},
    {MSG_DISABLEDS, "MSG_DISABLEDS"},
    {MSG_ENABLEDS, "MSG_ENABLEDS"},
    {MSG_ENABLEDSUIONLY, "MSG_ENABLEDSUIONLY"},
    {MSG_PROCESSEVENT, "MSG_PROCESSEVENT"},
    {MSG_ENDXFER, "MSG_ENDXFER"},
    {MSG_REGISTER_CALLBACK, "MSG_REGISTER_CALLBACK"},
};

constexpr Name kReturnCodes[] = {
    {TWRC_SUCCESS, "TWRC_SUCCESS"},
    {TWRC_FAILURE, "TWRC_FAILURE"},
    {TWRC_CHECKSTATUS, "TWRC_CHECKSTATUS"},
    {TWRC_CANCEL, "TWRC_CANCEL"},
    {TWRC_DSEVENT, "TWRC_DSEVENT"},
    {TWRC_NOTDSEVENT, "TWRC_NOTDSEVENT"},
    {TWRC_XFERDONE, "TWRC_XFERDONE"},
    {TWRC_ENDOFLIST, "TWRC_ENDOFLIST"},
    {TWRC_INFONOTSUPPORTED, "TWRC_INFONOTSUPPORTED"},
    {TWRC_DATANOTAVAILABLE, "TWRC_DATANOTAVAILABLE"},
    {TWRC_BUSY, "TWRC_BUSY"},
    {TWRC_SCANNERLOCKED, "TWRC_SCANNERLOCKED"},
};

constexpr Name kConditionCodes[] = {
    {TWCC_SUCCESS, "TWCC_SUCCESS"},
    {TWCC_BUMMER, "TWCC_BUMMER"},
    {TWCC_LOWMEMORY, "TWCC_LOWMEMORY"},
    {TWCC_NODS, "TWCC_NODS"},
    {TWCC_MAXCONNECTIONS, "TWCC_MAXCONNECTIONS"},
    {TWCC_OPERATIONERROR, "TWCC_OPERATIONERROR"},
    {TWCC_BADCAP, "TWCC_BADCAP"},
    {TWCC_BADPROTOCOL, "TWCC_BADPROTOCOL"},
    {TWCC_BADVALUE, "TWCC_BADVALUE"},
    {TWCC_SEQERROR, "TWCC_SEQERROR"},
    {TWCC_BADDEST, "TWCC_BADDEST"},
    {TWCC_CAPUNSUPPORTED, "TWCC_CAPUNSUPPORTED"},
    {TWCC_CAPBADOPERATION, "TWCC_CAPBADOPERATION"},
    {TWCC_CAPSEQERROR, "TWCC_CAPSEQERROR"},
    {TWCC_DENIED, "TWCC_DENIED"},
    {TWCC_FILEEXISTS, "TWCC_FILEEXISTS"},
    {TWCC_FILENOTFOUND, "TWCC_FILENOTFOUND"},
    {TWCC_NOTEMPTY, "TWCC_NOTEMPTY"},
    {TWCC_PAPERJAM, "TWCC_PAPERJAM"},
    {TWCC_PAPERDOUBLEFEED, "TWCC_PAPERDOUBLEFEED"},
    {TWCC_FILEWRITEERROR, "TWCC_FILEWRITEERROR"},
    {TWCC_CHECKDEVICEONLINE, "TWCC_CHECKDEVICEONLINE"},
    {TWCC_INTERLOCK, "TWCC_INTERLOCK"},
    {TWCC_DAMAGEDCORNER, "TWCC_DAMAGEDCORNER"},
    {TWCC_FOCUSERROR, "TWCC_FOCUSERROR"},
    {TWCC_DOCTOOLIGHT, "TWCC_DOCTOOLIGHT"},
    {TWCC_DOCTOODARK, "TWCC_DOCTOODARK"},
    {TWCC_NOMEDIA, "TWCC_NOMEDIA"},
};

constexpr Name kCapabilities[] = {
    {CAP_XFERCOUNT, "CAP_XFERCOUNT"},
    {ICAP_XFERMECH, "ICAP_XFERMECH"},
    {ICAP_PIXELTYPE, "ICAP_PIXELTYPE"},
    {ICAP_BITDEPTH, "ICAP_BITDEPTH"},
    {ICAP_UNITS, "ICAP_UNITS"},
    {ICAP_XRESOLUTION, "ICAP_XRESOLUTION"},
    {ICAP_YRESOLUTION, "ICAP_YRESOLUTION"},
    {ICAP_IMAGEFILEFORMAT, "ICAP_IMAGEFILEFORMAT"},
    {ICAP_PIXELFLAVOR, "ICAP_PIXELFLAVOR"},
    {CAP_FEEDERENABLED, "CAP_FEEDERENABLED"},
};

bool same_ignoring_case(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

std::optional<TW_UINT32> parse_number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    TW_UINT32 value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A part of a triplet: a name of the table, with or without its prefix ("DG_"), or a number.
std::optional<TW_UINT32> parse_part(std::string_view text, std::span<const Name> names,
                                    std::string_view prefix, TW_UINT32 largest) {
    for (const auto& entry : names) {
        if (same_ignoring_case(text, entry.name) ||
            same_ignoring_case(text, entry.name.substr(prefix.size()))) {
            return entry.value;
        }
    }
    const auto number = parse_number(text);
    if (!number || *number > largest) return std::nullopt;
    return number;
}

std::string name_of(TW_UINT32 value, std::span<const Name> names) {
    for (const auto& entry : names) {
        if (entry.value == value) return std::string(entry.name);
    }
    char hex[16];
    const auto [end, error] = std::to_chars(hex, hex + sizeof hex, value, 16);
    return "0x" + std::string(hex, end);
}

}  // namespace

std::optional<Triplet> parse_triplet(std::string_view text) {
    const auto first = text.find('/');
    const auto second = first == std::string_view::npos ? first : text.find('/', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    const auto group = parse_part(text.substr(0, first), kDataGroups, "DG_",
                                  std::numeric_limits<TW_UINT32>::max());
    const auto data =
        parse_part(text.substr(first + 1, second - first - 1), kDataArgumentTypes, "DAT_", 0xFFFF);
    const auto message = parse_part(text.substr(second + 1), kMessages, "MSG_", 0xFFFF);
    if (!group || !data || !message) return std::nullopt;
    return Triplet{*group, static_cast<TW_UINT16>(*data), static_cast<TW_UINT16>(*message)};
}

std::string triplet_name(const Triplet& triplet) {
    return name_of(triplet.data_group, kDataGroups) + "/" +
           name_of(triplet.data_argument_type, kDataArgumentTypes) + "/" +
           name_of(triplet.message, kMessages);
}

std::string return_code_name(TW_UINT16 code) {
    return name_of(code, kReturnCodes) + " (" + std::to_string(code) + ")";
}

std::string condition_code_name(TW_UINT16 code) {
    return name_of(code, kConditionCodes) + " (" + std::to_string(code) + ")";
}

std::string capability_name(TW_UINT16 capability) { return name_of(capability, kCapabilities); }

std::string data_group_bits(TW_UINT32 groups) {
    std::string names;
    for (const auto& entry : kDataGroups) {
        if ((groups & entry.value) == 0) continue;
        if (!names.empty()) names += ' ';
        names += entry.name;
    }
    return names;
}

}  // namespace twain_host
