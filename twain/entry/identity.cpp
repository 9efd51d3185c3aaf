// The identity of the Velmora Q580n data source, as the Source Manager and hosts see it.

#include <cstring>

#include "twain/entry/data_source_entry.hpp"
#include "twain/protocol/twain_constants.hpp"

namespace {

template <std::size_t Size, std::size_t Length>
void copyText(char (&field)[Size], const char (&text)[Length]) {
    static_assert(Length <= Size, "the text and its NUL must fit the field");
    std::memcpy(field, text, Length);
}

}  // namespace

twain::TW_IDENTITY getIdentity() noexcept {
    using namespace twain;
    // Zero everywhere first: Id (the Source Manager assigns it) and every byte behind a text.
    TW_IDENTITY identity{};
    identity.Version.MajorNum = 1;
    identity.Version.MinorNum = 0;
    identity.Version.Language = TWLG_USA;
    identity.Version.Country = TWCY_USA;
    copyText(identity.Version.Info, "1.0.0d0");
    identity.ProtocolMajor = TWON_PROTOCOLMAJOR;
    identity.ProtocolMinor = TWON_PROTOCOLMINOR;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    copyText(identity.Manufacturer, "Velmora");
    copyText(identity.ProductFamily, "Velmora Scanners");
    copyText(identity.ProductName, "Velmora Q580n");
    return identity;
}
