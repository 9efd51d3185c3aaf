#include "tools/twain_host/strip_assembler.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using twain_host::Strip;
using twain_host::StripAssembler;

// Rows of `width` bytes padded to `stride`, each byte the row's number plus its column.
std::vector<std::uint8_t> rows(std::uint32_t first, std::uint32_t count, std::uint32_t width,
                               std::uint32_t stride) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * stride, 0xEE);
    for (std::uint32_t row = 0; row < count; ++row) {
        for (std::uint32_t column = 0; column < width; ++column) {
            bytes[row * stride + column] = static_cast<std::uint8_t>(first + row + column);
        }
    }
    return bytes;
}

Strip strip(std::uint32_t columns, std::uint32_t first, std::uint32_t count, std::uint32_t stride,
            const std::vector<std::uint8_t>& bytes) {
    return Strip{0, stride, columns, count, 0, first, bytes};
}

TEST(StripAssembler, PaddedStripsOfAKnownHeightBecomeOneImageWithoutPadding) {
    // 5 pixels of 24 bits: 15 bytes a line, sent in rows of 16.
    StripAssembler image(5, 3, 24);
    const auto top = rows(0, 2, 15, 16);
    const auto bottom = rows(2, 1, 15, 16);
    ASSERT_TRUE(image.add(strip(5, 0, 2, 16, top)));
    // The last line of a strip may come without its padding.
    ASSERT_TRUE(image.add(strip(5, 2, 1, 16, {bottom.begin(), bottom.begin() + 15})));
    ASSERT_TRUE(image.finish());
    EXPECT_EQ(image.rows(), 3u);
    EXPECT_EQ(image.row_bytes(), 15u);
    EXPECT_EQ(image.pixels(), rows(0, 3, 15, 15));
}

TEST(StripAssembler, AnImageOfUnknownHeightGrowsWithEveryStrip) {
    StripAssembler image(10, -1, 1);  // 2 bytes a line
    for (std::uint32_t first = 0; first < 9; first += 3) {
        ASSERT_TRUE(image.add(strip(10, first, 3, 2, rows(first, 3, 2, 2))));
    }
    ASSERT_TRUE(image.finish());
    EXPECT_EQ(image.rows(), 9u);
    EXPECT_EQ(image.pixels(), rows(0, 9, 2, 2));
}

TEST(StripAssembler, StripsThatDoNotFitAreRefused) {
    const auto two_lines = rows(0, 2, 4, 4);
    struct Case {
        const char* what;
        Strip strip;
        std::int32_t height = 8;
    };
    const Case cases[] = {
        {"compressed", Strip{1, 4, 4, 2, 0, 0, two_lines}},
        {"a tile, not whole lines", Strip{0, 4, 2, 2, 2, 0, two_lines}},
        {"narrower than the image", strip(3, 0, 2, 4, two_lines)},
        {"out of order", strip(4, 1, 2, 4, two_lines)},
        {"rows shorter than a line", strip(4, 0, 2, 3, two_lines)},
        {"fewer bytes than rows", strip(4, 0, 3, 4, two_lines)},
        {"beyond the image's height", strip(4, 0, 2, 4, two_lines), 1},
    };
    for (const auto& c : cases) {
        StripAssembler image(4, c.height, 8);
        EXPECT_FALSE(image.add(c.strip)) << c.what;
        EXPECT_EQ(image.rows(), 0u) << c.what;
    }
}

TEST(StripAssembler, AnImageThatEndsShortIsRefusedAtTheEnd) {
    StripAssembler image(4, 3, 8);
    ASSERT_TRUE(image.add(strip(4, 0, 2, 4, rows(0, 2, 4, 4))));
    EXPECT_FALSE(image.finish());
    StripAssembler empty(4, -1, 8);
    EXPECT_FALSE(empty.finish());
}

}  // namespace
