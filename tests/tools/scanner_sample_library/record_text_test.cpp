#include "tools/scanner_sample_library/record_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/scanner_sample_library/record_file.hpp"

namespace {

using namespace scanner_sample;

std::vector<std::string> Described(const std::vector<std::uint8_t>& block, std::int64_t count,
                                   int& problems) {
    problems = 0;
    return describe_block(block, count, problems);
}

TEST(RecordLine, FieldsSurviveTheRoundTrip) {
    const RecordedCall call{"DeviceParameterSet",
                            {{"handle", "3"},
                             {"count", "1"},
                             {"block", hex_bytes(std::vector<std::uint8_t>{0, 0xE4, 0xff, 0})}}};
    const std::string line = format_line(call);
    EXPECT_EQ(line, "DeviceParameterSet handle=3 count=1 block=00e4ff00\n");
    const auto parsed = parse_line(line);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, "DeviceParameterSet");
    EXPECT_EQ(parsed->number("handle"), 3);
    EXPECT_EQ(parsed->block(), (std::vector<std::uint8_t>{0, 0xE4, 0xFF, 0}));
    EXPECT_FALSE(parsed->field("missing"));

    EXPECT_FALSE(parse_line(""));
    EXPECT_FALSE(parse_line("Call handle"));
    EXPECT_FALSE(parse_line("Call =3"));
    const auto odd = parse_line("Call handle=x3 block=abc");
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->number("handle"));
    EXPECT_TRUE(odd->block().empty());
}

TEST(RecordText, AListIsDecodedEntryByEntry) {
    int problems = 0;
    const std::vector<std::uint8_t> block{0x04, 0xE4, 4,   0,   'F', 'i',  'l', 'e', 9,
                                          0,    'C',  'l', 'i', 'p', 'b',  'o', 'a', 'r',
                                          'd',  0,    0,   3,   0,   0x80, 'x', 0xE9};
    EXPECT_EQ(Described(block, 4, problems),
              (std::vector<std::string>{
                  "header 0xE404: a destination list", "entry 1: \"File\" (4 bytes)",
                  "entry 2: \"Clipboard\" (9 bytes)", "entry 3: empty (0 bytes)",
                  "entry 4: \"\xE2\x82\xACx\xC3\xA9\" (3 bytes)"}));
    EXPECT_EQ(problems, 0);
    EXPECT_EQ(Described({0, 0, 0, 0}, 1, problems),
              (std::vector<std::string>{"header 0x0000: no destination list",
                                        "entry 1: empty (0 bytes)"}));
    EXPECT_EQ(problems, 0);
}

TEST(RecordText, MalformedBlocksAreCalledOut) {
    int problems = 0;
    const auto wrongCount = Described({0x04, 0xE4, 1, 0, 'A'}, 2, problems);
    EXPECT_EQ(wrongCount.back(), "problem: the count says 2 entries but the block holds 1");
    EXPECT_EQ(problems, 1);

    const auto cutShort = Described({0x04, 0xE4, 5, 0, 'A', 'B'}, 1, problems);
    EXPECT_EQ(cutShort.back(), "problem: entry 1 claims 5 bytes but only 2 follow");
    EXPECT_EQ(problems, 1);

    std::vector<std::uint8_t> tooLong{0x04, 0xE4, 16, 0};
    tooLong.resize(tooLong.size() + 16, 'a');
    Described(tooLong, 1, problems);
    EXPECT_EQ(problems, 1);

    const auto header = Described({0x05, 0xE4, 0, 0}, 1, problems);
    EXPECT_EQ(header.front(), "problem: header 0xE405 is neither 0xE404 nor 0x0000");
    Described({0, 0, 1, 0, 'A'}, 1, problems);
    EXPECT_EQ(problems, 1) << "the empty form holds one entry of length 0";
    Described({0x04}, 0, problems);
    EXPECT_EQ(problems, 1);
}

TEST(RecordText, BytesWithoutACharacterAreEscaped) {
    EXPECT_EQ(windows_latin1_text(std::vector<std::uint8_t>{'a', 0x81, 0x0A, 0x9F, 0xFF}),
              "a\\x81\\x0A\xC5\xB8\xC3\xBF");
}

TEST(RecordText, OverlapsAndUnknownLinesAreCountedAndSummed) {
    const std::vector<RecordedCall> calls{
        {"EnableScannerEx",
         {{"pid", "7"}, {"thread", "7"}, {"vendor", "7731"}, {"product", "183"}, {"result", "1"}}},
        {"EnableScannerEx",
         {{"pid", "7"}, {"thread", "8"}, {"vendor", "7731"}, {"product", "183"}, {"result", "2"}}},
        {"Overlap", {{"pid", "7"}, {"thread", "8"}, {"handle", "2"}, {"enabled", "1"}}},
        {"ScanVersion",
         {{"handle", "2"}, {"version1", "1"}, {"version2", "0"}, {"flags", "1"}, {"result", "1"}}},
        {"DeviceParameterSet",
         {{"handle", "2"},
          {"parameter", "1"},
          {"count", "1"},
          {"length", "4"},
          {"block", "00000000"},
          {"delay", "5"},
          {"result", "0"}}},
        {"Reset", {}},
    };
    const auto text = describe_record(calls);
    EXPECT_EQ(text.overlaps, 1);
    EXPECT_EQ(text.problems, 1);
    EXPECT_NE(text.text.find("EnableScannerEx(vendor 7731, product 183) returned device handle 2  "
                             "(pid 7, thread 8)\n"),
              std::string::npos)
        << text.text;
    EXPECT_NE(text.text.find("OVERLAP: device 2 was enabled while device 1 still was"),
              std::string::npos);
    EXPECT_NE(text.text.find("(bit 0 of the third is set: the panel takes no list)"),
              std::string::npos);
    EXPECT_NE(
        text.text.find(
            "DeviceParameterSet(device 2, parameter 1, 1 entry, 4 bytes) returned 0 after 5 ms"),
        std::string::npos);
    EXPECT_NE(
        text.text.find("    header 0x0000: no destination list\n    entry 1: empty (0 bytes)\n"),
        std::string::npos);
    EXPECT_NE(text.text.find("problem: \"Reset\" is no entry point of the library"),
              std::string::npos);
    EXPECT_NE(text.text.find("6 lines, 1 destination list, 1 overlap, 1 problem\n"),
              std::string::npos);
}

}  // namespace
