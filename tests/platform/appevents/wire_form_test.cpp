#include "platform/appevents/wire_form.hpp"

#include <gtest/gtest.h>

#include "platform/appevents/codes.hpp"
#include "tests/support/byte_builder.hpp"

namespace {

namespace ae = platform::appevents;
using platform::four_char_code;
using testing_support::ByteBuilder;

ae::Descriptor make(platform::FourCharCode type, std::span<const std::byte> data) {
    return ae::Descriptor::create(type, data).value();
}

std::span<const std::byte> text_bytes(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

ae::Event sample_event() {
    const platform::FourCharCode signature = four_char_code("QH06");
    ae::Event event(four_char_code("BMon"), four_char_code("x771"),
                    make(ae::type_appl_signature, ae::host_bytes(signature)), -2, 0x01020304);
    event.put_parameter(four_char_code("rsln"),
                        make(ae::type_sint32, ae::host_bytes(std::int32_t{-300})));
    event.put_parameter(ae::key_direct_object, make(ae::type_null, {}));
    event.put_parameter(four_char_code("rmip"), make(ae::type_char, text_bytes("abc")));
    return event;
}

std::vector<std::byte> sample_bytes() {
    // One line per field of the event.
    // clang-format off
    return ByteBuilder()
        .code("aevt").code("BMon").code("x771")
        .le16(0xFFFE).le32(0x01020304)
        .code("sign").le32(4).host(four_char_code("QH06"))
        .le32(3)
        .code("rsln").code("long").le32(4).host(std::int32_t{-300})
        .code("----").code("null").le32(0)
        .code("rmip").code("TEXT").le32(3).text("abc")
        .bytes();
    // clang-format on
}

TEST(Descriptor, HoldsACopyOfItsBytes) {
    std::vector<std::byte> source{std::byte{1}, std::byte{2}, std::byte{3}};
    const auto descriptor = make(four_char_code("data"), source);
    source[0] = std::byte{9};
    EXPECT_EQ(descriptor.type(), four_char_code("data"));
    ASSERT_EQ(descriptor.size(), 3U);
    EXPECT_EQ(descriptor.data()[0], std::byte{1});

    std::byte small[2]{};
    EXPECT_EQ(descriptor.copy_data(small), 2U);
    EXPECT_EQ(small[1], std::byte{2});
    std::byte large[5]{};
    EXPECT_EQ(descriptor.copy_data(large), 3U);
    EXPECT_EQ(large[3], std::byte{0});

    EXPECT_EQ(ae::Descriptor().type(), ae::type_null);
    EXPECT_EQ(ae::Descriptor().size(), 0U);
}

TEST(Event, KeepsParametersInTheOrderAddedAndReplacesInPlace) {
    auto event = sample_event();
    event.put_parameter(four_char_code("rsln"),
                        make(ae::type_sint32, ae::host_bytes(std::int32_t{600})));
    ASSERT_EQ(event.parameters().size(), 3U);
    EXPECT_EQ(event.parameters()[0].keyword, four_char_code("rsln"));
    EXPECT_EQ(event.parameters()[1].keyword, ae::key_direct_object);
    EXPECT_EQ(event.parameters()[2].keyword, four_char_code("rmip"));
    ASSERT_NE(event.parameter(four_char_code("rsln")), nullptr);
    EXPECT_EQ(*event.parameter(four_char_code("rsln")),
              make(ae::type_sint32, ae::host_bytes(std::int32_t{600})));
    EXPECT_EQ(event.parameter(four_char_code("none")), nullptr);
}

TEST(WireForm, EncodesFieldByFieldInTheOrderAdded) {
    EXPECT_EQ(ae::encode_event(sample_event()), sample_bytes());

    auto parameters = ae::to_launch_parameters(sample_event());
    ASSERT_TRUE(parameters);
    EXPECT_EQ(parameters->type(), four_char_code("appa"));
    EXPECT_TRUE(std::ranges::equal(parameters->data(), sample_bytes()));
}

TEST(WireForm, DecodesWhatItEncodes) {
    auto decoded = ae::decode_event(sample_bytes());
    ASSERT_TRUE(decoded) << decoded.error().message;
    EXPECT_EQ(*decoded, sample_event());

    const ae::Event bare(0, 0, ae::Descriptor());
    auto round = ae::decode_event(ae::encode_event(bare));
    ASSERT_TRUE(round) << round.error().message;
    EXPECT_EQ(*round, bare);
    EXPECT_EQ(round->return_id(), -1);
}

TEST(WireForm, RefusesBytesThatAreNotExactlyOneEvent) {
    const auto good = sample_bytes();
    auto expect_refused = [](std::span<const std::byte> bytes, std::string_view why) {
        auto decoded = ae::decode_event(bytes);
        EXPECT_FALSE(decoded) << why;
        if (!decoded) {
            EXPECT_NE(decoded.error().message.find("malformed event"), std::string::npos);
        }
    };
    for (std::size_t length = 0; length < good.size(); ++length) {
        expect_refused(std::span(good).first(length), "cut at " + std::to_string(length));
    }
    auto longer = good;
    longer.push_back(std::byte{0});
    expect_refused(longer, "a byte after the last parameter");

    auto magic = good;
    magic[0] = std::byte{'A'};
    expect_refused(magic, "wrong magic");

    // One line per field of the event.
    // clang-format off
    auto huge_count = ByteBuilder().code("aevt").code("BMon").code("x771").le16(0).le32(0)
                          .code("null").le32(0).le32(0xFFFFFFFF).bytes();
    expect_refused(huge_count, "a count no bytes could hold");

    auto long_data = ByteBuilder().code("aevt").code("BMon").code("x771").le16(0).le32(0)
                         .code("null").le32(0xFFFFFFF0).bytes();
    expect_refused(long_data, "target data past the end");

    auto twice = ByteBuilder().code("aevt").code("BMon").code("x771").le16(0).le32(0)
                     .code("null").le32(0).le32(2)
                     .code("rsln").code("null").le32(0)
                     .code("rsln").code("null").le32(0).bytes();
    // clang-format on
    expect_refused(twice, "a keyword given twice");
}

}  // namespace
