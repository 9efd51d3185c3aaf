#include "platform/plist/document.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/plist/describe.hpp"

#include "tests/support/temp_dir.hpp"

namespace {

using platform::plist::Date;
using platform::plist::IntegerKind;
using platform::plist::Value;
namespace plist = platform::plist;

Value sample() {
    return Value::dictionary({
        {"name", Value::string("Scan Hub \xC3\xA9")},
        {"octet", Value::integer(200, IntegerKind::SInt8)},
        {"big", Value::integer(INT64_MIN)},
        {"ratio", Value::real(-0.25)},
        {"on", Value::boolean(true)},
        {"off", Value::boolean(false)},
        {"blob", Value::data({0, 1, 255})},
        {"when", Value::date(Date{86400})},  // XML dates hold whole seconds
        {"list", Value::array({Value::integer(1), Value::string("two"), Value::array()})},
        {"empty", Value::dictionary()},
    });
}

TEST(PlistDocument, XmlRoundTripKeepsEveryKindAndKeyOrder) {
    auto xml = plist::to_xml(sample());
    ASSERT_TRUE(xml) << xml.error().message;
    EXPECT_NE(xml->find("<integer>-56</integer>"), std::string::npos) << *xml;
    EXPECT_NE(xml->find("<real>"), std::string::npos);
    EXPECT_NE(xml->find("<true/>"), std::string::npos);
    EXPECT_NE(xml->find("<false/>"), std::string::npos);
    auto back = plist::parse(*xml);
    ASSERT_TRUE(back) << back.error().message;
    EXPECT_EQ(*back, sample());
    ASSERT_EQ(back->size(), sample().size());
    for (std::size_t i = 0; i < back->size(); ++i) {
        EXPECT_EQ(back->entries()[i].first, sample().entries()[i].first);
    }
}

TEST(PlistDocument, ReadsBinaryDocuments) {
    // {name: "Scan Hub", count: -56, ratio: 1.5, on: true, blob: 00 01 ff, list: [1, "two"]}
    static const unsigned char binary[] = {
        0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd6, 0x01, 0x02, 0x03, 0x04, 0x05,
        0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x54, 0x6e, 0x61, 0x6d, 0x65, 0x55, 0x63,
        0x6f, 0x75, 0x6e, 0x74, 0x55, 0x72, 0x61, 0x74, 0x69, 0x6f, 0x52, 0x6f, 0x6e, 0x54,
        0x62, 0x6c, 0x6f, 0x62, 0x54, 0x6c, 0x69, 0x73, 0x74, 0x58, 0x53, 0x63, 0x61, 0x6e,
        0x20, 0x48, 0x75, 0x62, 0x13, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xc8, 0x23,
        0x3f, 0xf8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0x43, 0x00, 0x01, 0xff, 0xa2,
        0x0d, 0x0e, 0x10, 0x01, 0x53, 0x74, 0x77, 0x6f, 0x08, 0x15, 0x1a, 0x20, 0x26, 0x29,
        0x2e, 0x33, 0x3c, 0x45, 0x4e, 0x4f, 0x53, 0x56, 0x58, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0f, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5c};
    auto value = plist::parse(std::as_bytes(std::span(binary)));
    ASSERT_TRUE(value) << value.error().message;
    EXPECT_EQ(*value, Value::dictionary({
                          {"name", Value::string("Scan Hub")},
                          {"count", Value::integer(-56)},
                          {"ratio", Value::real(1.5)},
                          {"on", Value::boolean(true)},
                          {"blob", Value::data({0, 1, 255})},
                          {"list", Value::array({Value::integer(1), Value::string("two")})},
                      }));
}

std::string from_hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

// {"\u00e9\0": "b"}
std::string binary_with_utf16_key_holding_nul() {
    return from_hex(
        "62706c6973743030d101026200e900005162080b1000000000000001010000000000000003"
        "00000000000000000000000000000012");
}

// {"k": "\u00e9\0"}
std::string binary_with_utf16_string_holding_nul() {
    return from_hex(
        "62706c6973743030d10102516b6200e90000080b0d000000000000010100000000000000"
        "0300000000000000000000000000000012");
}

TEST(PlistDocument, MalformedDocumentsAreErrors) {
    for (const std::string& bad :
         {std::string(), std::string("not a plist"),
          std::string("<plist><dict><key>a</key></plist>"), std::string("bplist00\x01\x02", 10),
          std::string("<?xml"),
          // Keys and strings holding NUL made libplist abort the process.
          std::string("<plist><dict><key>k</key><string>a") + '\0' + "b</string></dict></plist>",
          binary_with_utf16_key_holding_nul(), binary_with_utf16_string_holding_nul()}) {
        auto value = plist::parse(bad);
        EXPECT_FALSE(value) << "accepted: " << bad;
        if (!value) {
            EXPECT_FALSE(value.error().message.empty());
        }
    }
}

TEST(PlistDocument, DeepNestingIsRefusedOnBothSides) {
    Value deep = Value::array();
    for (int i = 0; i < plist::max_nesting_depth + 5; ++i) deep = Value::array({deep});
    EXPECT_FALSE(plist::to_xml(deep));

    // Far deeper documents are small too; walking one without a limit overflows the stack.
    for (const int depth : {plist::max_nesting_depth + 5, 50000}) {
        std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>";
        for (int i = 0; i < depth; ++i) xml += "<array>";
        for (int i = 0; i < depth; ++i) xml += "</array>";
        xml += "</dict></plist>";
        EXPECT_FALSE(plist::parse(xml)) << depth;
    }
}

// An XML document of `depth` containers, each opened with `open` and closed with `close`
// (when given), the innermost holding `inner`.
std::string nested_xml(std::size_t depth, std::string_view open = "<array>",
                       std::string_view close = "</array>", std::string_view inner = "") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    xml.reserve(xml.size() + depth * (open.size() + close.size()) + inner.size() + 8);
    for (std::size_t i = 0; i < depth; ++i) xml += open;
    xml += inner;
    for (std::size_t i = 0; i < depth && !close.empty(); ++i) xml += close;
    if (!close.empty()) xml += "</plist>";
    return xml;
}

void expect_too_deep(const std::string& xml, const char* what) {
    auto value = plist::parse(xml);
    ASSERT_FALSE(value) << what;
    EXPECT_NE(value.error().message.find("nested too deeply"), std::string::npos)
        << what << ": " << value.error().message;
}

TEST(PlistDocument, DeepXmlDocumentsAreRefusedBeforeLibplistBuildsThem) {
    // The limit counts containers from the top one, as for binary documents.
    const std::size_t limit = plist::max_nesting_depth;
    auto deepest = plist::parse(nested_xml(limit + 1, "<array>", "</array>", "<true/>"));
    EXPECT_FALSE(deepest) << "a value one level below the deepest container allowed";
    auto at_limit = plist::parse(nested_xml(limit, "<array>", "</array>", "<true/>"));
    ASSERT_TRUE(at_limit) << at_limit.error().message;
    EXPECT_TRUE(plist::parse(nested_xml(limit + 1)));
    expect_too_deep(nested_xml(limit + 2), "one level too deep");

    // Hundreds of thousands of levels fit in a few megabytes; libplist's reader takes them all,
    // and freeing what it built (on success or on its own error) recursed once per level.
    expect_too_deep(nested_xml(200000), "arrays");
    expect_too_deep(nested_xml(200000, "<dict><key>k</key>", "</dict>"), "dictionaries");
    expect_too_deep(nested_xml(200000, "<array>", ""), "never closed");
    expect_too_deep(nested_xml(200000, "<array>", "</array>", "<oops/>"), "broken in the middle");
}

TEST(PlistDocument, OnlyTagsLibplistReadsCountTowardTheDepth) {
    // Closing tags inside a comment or a quoted attribute close nothing.
    expect_too_deep(nested_xml(100000, "<array><!-- </array> -->", "</array>"), "comments");
    expect_too_deep(nested_xml(100000, "<array note=\"</array>\">", "</array>"), "attributes");
    expect_too_deep(nested_xml(100000, "<?pi \"?>\"?><array>", "</array>"), "instructions");

    // Opening tags inside text, a comment or an instruction open nothing.
    std::string hidden = "<string><![CDATA[";
    for (int i = 0; i < 1000; ++i) hidden += "<array>";
    hidden += "]]><!-- <dict> --></string>";
    const auto text = plist::parse(nested_xml(3, "<array>", "</array>", hidden));
    ASSERT_TRUE(text) << text.error().message;
    EXPECT_EQ(text->at(0).at(0).at(0).as_string()->size(), 1000 * std::string("<array>").size());
    auto commented = plist::parse(
        "<?xml version=\"1.0\"?><!-- <array><array> --><?x <dict>?>"
        "<!DOCTYPE plist [<!ENTITY a \"<array>\">]>"
        "<plist><array attribute=\"<dict>\"><true/></array></plist>");
    ASSERT_TRUE(commented) << commented.error().message;
    EXPECT_EQ(*commented, Value::array({Value::boolean(true)}));

    // An empty top container takes the values that follow it, as libplist reads it.
    auto after_empty = plist::parse("<plist><array/><array><true/></array></plist>");
    ASSERT_TRUE(after_empty) << after_empty.error().message;
    EXPECT_EQ(*after_empty, Value::array({Value::array({Value::boolean(true)})}));
}

// A binary document of arrays nested `depth` deep (object i holds object i + 1, the last one is
// empty), or of arrays that each hold the next one twice, or whose last array holds the first.
std::string nested_binary(std::size_t depth, int references_each = 1, bool cycle = false) {
    std::string document = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (std::size_t i = 0; i < depth; ++i) {
        offsets.push_back(static_cast<std::uint32_t>(document.size()));
        const bool last = i + 1 == depth;
        const int count = last && !cycle ? 0 : references_each;
        document += static_cast<char>(0xA0 | count);
        const std::uint32_t next = last ? 0 : static_cast<std::uint32_t>(i + 1);
        for (int k = 0; k < count; ++k) {
            for (int shift = 24; shift >= 0; shift -= 8)
                document += static_cast<char>(next >> shift);
        }
    }
    const auto table = static_cast<std::uint64_t>(document.size());
    for (const auto offset : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8) document += static_cast<char>(offset >> shift);
    }
    document += std::string(6, '\0');
    document += '\x04';  // offset size
    document += '\x04';  // reference size
    for (const std::uint64_t field : {std::uint64_t{depth}, std::uint64_t{0}, table}) {
        for (int shift = 56; shift >= 0; shift -= 8) document += static_cast<char>(field >> shift);
    }
    return document;
}

TEST(PlistDocument, DeepBinaryDocumentsAreRefusedBeforeLibplistWalksThem) {
    auto shallow = plist::parse(nested_binary(3));
    ASSERT_TRUE(shallow) << shallow.error().message;
    EXPECT_EQ(*shallow, Value::array({Value::array({Value::array()})}));
    EXPECT_TRUE(plist::parse(nested_binary(plist::max_nesting_depth + 1)));
    for (const std::size_t depth :
         {std::size_t{plist::max_nesting_depth} + 2, std::size_t{200000}}) {
        auto deep = plist::parse(nested_binary(depth));
        ASSERT_FALSE(deep) << depth;
        EXPECT_NE(deep.error().message.find("nested too deeply"), std::string::npos);
    }
    EXPECT_FALSE(plist::parse(nested_binary(5, 1, true))) << "an array inside itself";

    // Arrays that hold the next one twice: a few bytes per level, twice the values per level.
    EXPECT_TRUE(plist::parse(nested_binary(12, 2)));
    auto exploding = plist::parse(nested_binary(200, 2));
    ASSERT_FALSE(exploding);
    EXPECT_NE(exploding.error().message.find("too many values"), std::string::npos);
}

// 8192 keys of 26 characters made of the blocks "@a" and "A@", which add the same to a djb2
// hash (64 * 33 + 97 == 65 * 33 + 64): all of them fall in one bucket of libplist's tables.
std::vector<std::string> colliding_keys() {
    std::vector<std::string> keys;
    for (unsigned bits = 0; bits < (1U << 13); ++bits) {
        std::string key;
        for (int block = 0; block < 13; ++block) key += (bits >> block & 1) ? "A@" : "@a";
        keys.push_back(std::move(key));
    }
    return keys;
}

std::string xml_dictionary(const std::vector<std::string>& keys) {
    std::string xml = "<plist><dict>";
    for (const auto& key : keys) xml += "<key>" + key + "</key><true/>";
    return xml + "</dict></plist>";
}

// A binary document of one dictionary whose values are all true.
std::string binary_dictionary(const std::vector<std::string>& keys) {
    const auto big_endian = [](std::string& out, std::uint64_t value, int bytes) {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
            out += static_cast<char>(value >> shift);
        }
    };
    const auto count = static_cast<std::uint16_t>(keys.size());
    std::string document = "bplist00";
    std::vector<std::uint32_t> offsets;
    offsets.push_back(static_cast<std::uint32_t>(document.size()));
    document += '\xDF';  // a dictionary whose size follows as a 2-byte integer
    document += '\x11';
    big_endian(document, count, 2);
    for (std::uint16_t i = 0; i < count; ++i) big_endian(document, i + 1U, 2);      // keys
    for (std::uint16_t i = 0; i < count; ++i) big_endian(document, count + 1U, 2);  // values
    for (const auto& key : keys) {
        offsets.push_back(static_cast<std::uint32_t>(document.size()));
        document += '\x5F';  // an ASCII string whose length follows as a 1-byte integer
        document += '\x10';
        document += static_cast<char>(key.size());
        document += key;
    }
    offsets.push_back(static_cast<std::uint32_t>(document.size()));
    document += '\x09';  // true
    const auto table = static_cast<std::uint64_t>(document.size());
    for (const auto offset : offsets) big_endian(document, offset, 4);
    document += std::string(6, '\0');
    document += '\x04';  // offset size
    document += '\x02';  // reference size
    big_endian(document, offsets.size(), 8);
    big_endian(document, 0, 8);
    big_endian(document, table, 8);
    return document;
}

TEST(PlistDocument, KeysThatShareLibplistsHashBucketsAreRefused) {
    // Read by libplist, 8192 such keys cost it a second or so, and writing them as much again.
    const auto keys = colliding_keys();
    std::vector<std::string> with_entities;
    for (const auto& key : keys) {
        std::string spelled;
        for (const char c : key) spelled += c == '@' ? std::string("&#64;") : std::string(1, c);
        with_entities.push_back(std::move(spelled));
    }
    for (const auto& document :
         {xml_dictionary(keys), xml_dictionary(with_entities), binary_dictionary(keys)}) {
        auto refused = plist::parse(document);
        ASSERT_FALSE(refused) << document.substr(0, 40);
        EXPECT_NE(refused.error().message.find("would take too long"), std::string::npos)
            << refused.error().message;
    }

    // As many keys, and far more, that libplist spreads over its buckets are read.
    std::vector<std::string> ordinary;
    for (int i = 0; i < 100000; ++i) ordinary.push_back("Key " + std::to_string(i));
    auto many = plist::parse(xml_dictionary(ordinary));
    ASSERT_TRUE(many) << many.error().message;
    EXPECT_EQ(many->size(), ordinary.size());
    ordinary.resize(keys.size());
    auto binary = plist::parse(binary_dictionary(ordinary));
    ASSERT_TRUE(binary) << binary.error().message;
    EXPECT_EQ(binary->get("Key 8191"), Value::boolean(true));
}

TEST(PlistDocument, ValuesWithoutDocumentFormAreRefused) {
    EXPECT_FALSE(plist::to_xml(Value()));
    // Written whole they could not be read back; cut at the NUL they would change.
    const std::string with_nul("a\0b", 3);
    EXPECT_FALSE(plist::to_xml(Value::array({Value::string(with_nul)})));
    EXPECT_FALSE(plist::to_xml(Value::dictionary({{with_nul, Value::integer(1)}})));
    auto with_url = plist::to_xml(Value::dictionary({{"u", Value::file_url("/x")}}));
    ASSERT_FALSE(with_url);
    EXPECT_NE(with_url.error().message.find("file URL"), std::string::npos);
}

TEST(PlistDocument, ReadFileReportsMissingAndBrokenFiles) {
    testing_support::TempDir dir;
    auto missing = plist::read_file(dir / "absent.plist");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().status, -43);

    testing_support::write_file(dir / "broken.plist", "<plist><dict>");
    auto broken = plist::read_file(dir / "broken.plist");
    ASSERT_FALSE(broken);
    EXPECT_NE(broken.error().message.find("broken.plist"), std::string::npos);

    testing_support::write_file(dir / "good.plist", *plist::to_xml(sample()));
    auto good = plist::read_file(dir / "good.plist");
    ASSERT_TRUE(good);
    EXPECT_EQ(*good, sample());

    // A pipe would keep a reader waiting for a writer, then for an end that never comes; the
    // alarm ends the test program if it does.
    ASSERT_EQ(::mkfifo((dir / "pipe.plist").c_str(), 0600), 0);
    ::alarm(10);
    EXPECT_FALSE(plist::read_file(dir / "pipe.plist"));
    EXPECT_FALSE(plist::read_file(dir.path()));
    ::alarm(0);
}

}  // namespace
