#include "tools/scan_destination_standin/event_text.hpp"

#include <gtest/gtest.h>

#include "platform/appevents/codes.hpp"

namespace {

namespace ae = platform::appevents;
using platform::four_char_code;

ae::Descriptor make(platform::FourCharCode type, std::span<const std::byte> data) {
    return ae::Descriptor::create(type, data).value();
}

template <class T>
ae::Descriptor number(platform::FourCharCode type, T value) {
    return make(type, ae::host_bytes(value));
}

ae::Descriptor text(platform::FourCharCode type, std::string_view bytes) {
    return make(type, std::as_bytes(std::span(bytes.data(), bytes.size())));
}

ae::Descriptor utf16(std::u16string_view units) {
    return make(ae::type_unicode_text, std::as_bytes(std::span(units.data(), units.size())));
}

TEST(EventText, ShowsEveryParameterWithItsTypeAndValue) {
    ae::Event event(four_char_code("BMon"), 0,
                    number(ae::type_appl_signature, four_char_code("QH06")), -1, 7);
    event.put_parameter(four_char_code("rsln"), number(ae::type_sint32, std::int32_t{-300}));
    event.put_parameter(four_char_code("shrt"), number(ae::type_sint16, std::int16_t{12}));
    event.put_parameter(four_char_code("NtSc"), number(ae::type_false, std::uint8_t{0}));
    event.put_parameter(four_char_code("none"), make(ae::type_true, {}));
    event.put_parameter(four_char_code("enum"),
                        number(ae::type_enumerated, four_char_code("yes ")));
    event.put_parameter(four_char_code("null"), ae::Descriptor());
    event.put_parameter(four_char_code("rmip"), utf16(u"h\u00f4te \"1\"\n"));
    event.put_parameter(four_char_code("name"), text(ae::type_char, "caf\xe9\t"));
    event.put_parameter(four_char_code("nada"), utf16(u""));
    auto shown = standin::describe_event(event, "event");
    ASSERT_TRUE(shown) << shown.error().message;
    EXPECT_EQ(*shown,
              "event 'BMon' 0x00000000 (return ID -1, transaction ID 7) to 'sign' 'QH06'\n"
              "  'rsln' 'long' -300\n"
              "  'shrt' 'shor' 12\n"
              "  'NtSc' 'fals' 00\n"
              "  'none' 'true' (no data)\n"
              "  'enum' 'enum' 'yes '\n"
              "  'null' 'null'\n"
              "  'rmip' 'utxt' \"h\u00f4te \\\"1\\\"\\n\"\n"
              "  'name' 'TEXT' \"caf\\xE9\\t\"\n"
              "  'nada' 'utxt' \"\"\n");
}

TEST(EventText, WhatCannotBeShownIsOneLineNamingIt) {
    ae::Event event(four_char_code("BMon"), four_char_code("x771"),
                    number(ae::type_appl_signature, four_char_code("QH06")));
    event.put_parameter(four_char_code("rsln"), number(ae::type_sint32, std::int32_t{1}));
    event.put_parameter(four_char_code("od\nd"), text(four_char_code("zz\x01z"), "abc"));
    auto unknown = standin::describe_event(event, "event");
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().message,
              "event 'BMon' 'x771': parameter 0x6F640A64 has unknown descriptor type 0x7A7A017A (3 "
              "bytes)");

    event.put_parameter(four_char_code("od\nd"), text(ae::type_sint32, "abc"));
    EXPECT_EQ(standin::describe_event(event, "event").error().message,
              "event 'BMon' 'x771': parameter 0x6F640A64 has 'long' data of 3 bytes");
    event.put_parameter(four_char_code("od\nd"), text(ae::type_unicode_text, "abc"));
    EXPECT_FALSE(standin::describe_event(event, "event"));

    const ae::Event bad_target(four_char_code("BMon"), 0, text(ae::type_appl_signature, "QH"));
    EXPECT_FALSE(standin::describe_event(bad_target, "event"));
}

}  // namespace
