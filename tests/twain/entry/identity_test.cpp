#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "tests/twain/support/backend_log.hpp"
#include "twain/entry/data_source_entry.hpp"

namespace {

// The record as the Linux Source Manager reads it: little-endian numbers, 2-byte packing,
// NUL-terminated text, zero in every byte not set.
class ExpectedBytes {
public:
    void u16(std::size_t offset, std::uint16_t value) {
        bytes_[offset] = static_cast<std::uint8_t>(value);
        bytes_[offset + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    void u32(std::size_t offset, std::uint32_t value) {
        u16(offset, static_cast<std::uint16_t>(value));
        u16(offset + 2, static_cast<std::uint16_t>(value >> 16));
    }
    void text(std::size_t offset, std::string_view value) {
        std::memcpy(bytes_.data() + offset, value.data(), value.size());
    }
    std::string hex() const { return twain_testing::hex(bytes_.data(), bytes_.size()); }

private:
    std::array<std::uint8_t, 156> bytes_{};
};

TEST(Identity, IsTheDataSourcesPackedRecord) {
    ExpectedBytes expected;
    expected.u16(4, 1);   // Version.MajorNum
    expected.u16(6, 0);   // Version.MinorNum
    expected.u16(8, 13);  // Version.Language: TWLG_USA
    expected.u16(10, 1);  // Version.Country: TWCY_USA
    expected.text(12, "1.0.0d0");
    expected.u16(46, 1);  // ProtocolMajor
    expected.u16(48, 9);  // ProtocolMinor
    expected.u32(50, 3);  // SupportedGroups: DG_CONTROL | DG_IMAGE
    expected.text(54, "Velmora");
    expected.text(88, "Velmora Scanners");
    expected.text(122, "Velmora Q580n");

    const twain::TW_IDENTITY first = getIdentity();
    ASSERT_EQ(sizeof first, 156u);
    EXPECT_EQ(twain_testing::hex(&first, sizeof first), expected.hex());
    const twain::TW_IDENTITY second = getIdentity();
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
    EXPECT_STREQ(first.ProductName, "Velmora Q580n");
    EXPECT_EQ(gDataSource, nullptr) << "asking for the identity creates nothing";
}

}  // namespace
