#include "monitor/scannerlib/destination_list_block.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/text_encoding.hpp"

namespace monitor {

namespace {

class BlockWriter {
public:
    explicit BlockWriter(std::uint16_t header) { Word(header); }

    void Entry(std::span<const std::uint8_t> name) {
        Word(static_cast<std::uint16_t>(name.size()));
        std::copy(name.begin(), name.end(),
                  block.bytes.begin() + static_cast<std::ptrdiff_t>(block.length));
        block.length += name.size();
        ++block.entryCount;
    }

    DestinationListBlock Finish() const { return block; }

private:
    // In the host's byte order, as the library reads it.
    void Word(std::uint16_t value) {
        std::memcpy(block.bytes.data() + block.length, &value, sizeof value);
        block.length += sizeof value;
    }

    DestinationListBlock block;
};

}  // namespace

std::vector<std::uint8_t> EncodePanelName(std::string_view name) {
    std::u16string units = platform::utf8_to_utf16(name);
    constexpr std::u16string_view suffix = u".app";
    if (units.ends_with(suffix)) units.resize(units.size() - suffix.size());
    const std::u16string_view taken =
        std::u16string_view(units).substr(0, std::min(units.size(), MaxPanelNameLength));
    std::vector<std::uint8_t> bytes;
    platform::utf16_to_windows_latin1(taken, bytes);
    return bytes;
}

DestinationListBlock MakeDestinationList(std::span<const platform::plist::Value> panelNames) {
    if (panelNames.empty()) return MakeEmptyDestinationList();
    BlockWriter writer(DestinationListHeader);
    writer.Entry(EncodePanelName("File"));
    writer.Entry(EncodePanelName("Clipboard"));
    for (const auto& name : panelNames.first(std::min(panelNames.size(), MaxPanelApplications))) {
        const std::string* text = name.as_string();
        writer.Entry(text ? EncodePanelName(*text) : std::vector<std::uint8_t>());
    }
    return writer.Finish();
}

DestinationListBlock MakeEmptyDestinationList() {
    BlockWriter writer(NoDestinationListHeader);
    writer.Entry({});
    return writer.Finish();
}

}  // namespace monitor
