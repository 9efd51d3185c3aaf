#include "monitor/scannerlib/destination_list_block.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/monitor/scannerlib/scanner_library_fixtures.hpp"

namespace {

using monitor::EncodePanelName;
using monitor::MakeDestinationList;
using monitor::MakeEmptyDestinationList;
using platform::plist::Value;

std::vector<std::uint8_t> Bytes(const monitor::DestinationListBlock& block) {
    const auto written = block.Written();
    return {written.begin(), written.end()};
}

std::vector<std::uint8_t> Text(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<Value> Names(std::initializer_list<const char*> names) {
    std::vector<Value> values;
    for (const char* name : names) values.push_back(Value::string(name));
    return values;
}

TEST(DestinationListBlock, PreviewAndMailMakeTheThirtyFourByteList) {
    const auto block = MakeDestinationList(Names({"Preview.app", "Mail"}));
    EXPECT_EQ(Bytes(block), scannerlib_test::PreviewMailBlock());
    EXPECT_EQ(block.length, 34u);
    EXPECT_EQ(block.entryCount, 4);
}

TEST(DestinationListBlock, OnlyTheFirstEighteenApplicationsAreSent) {
    std::vector<Value> names;
    for (int i = 1; i <= 20; ++i) names.push_back(Value::string("App" + std::to_string(i)));
    const auto block = MakeDestinationList(names);
    EXPECT_EQ(block.entryCount, 20);

    std::vector<std::uint8_t> expected{0x04, 0xE4, 4, 0, 'F', 'i', 'l', 'e', 9, 0};
    for (const char c : std::string("Clipboard")) expected.push_back(static_cast<std::uint8_t>(c));
    for (int i = 1; i <= 18; ++i) {
        const std::string name = "App" + std::to_string(i);
        expected.push_back(static_cast<std::uint8_t>(name.size()));
        expected.push_back(0);
        expected.insert(expected.end(), name.begin(), name.end());
    }
    EXPECT_EQ(Bytes(block), expected);
}

TEST(DestinationListBlock, TheLongestListHasEighteenFullNames) {
    const std::vector<Value> names(25,
                                   Value::string("A name far longer than fifteen characters.app"));
    const auto block = MakeDestinationList(names);
    EXPECT_EQ(block.length, 2u + 6u + 11u + 18u * 17u);
    EXPECT_EQ(block.entryCount, 20);
    const auto bytes = Bytes(block);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - 17, bytes.end()),
              (std::vector<std::uint8_t>{15, 0, 'A', ' ', 'n', 'a', 'm', 'e', ' ', 'f', 'a', 'r',
                                         ' ', 'l', 'o', 'n', 'g'}));
}

TEST(DestinationListBlock, NoApplicationsGiveTheEmptyForm) {
    const std::vector<std::uint8_t> empty{0x00, 0x00, 0x00, 0x00};
    const auto fromList = MakeDestinationList({});
    EXPECT_EQ(Bytes(fromList), empty);
    EXPECT_EQ(fromList.entryCount, 1);
    const auto direct = MakeEmptyDestinationList();
    EXPECT_EQ(Bytes(direct), empty);
    EXPECT_EQ(direct.entryCount, 1);
}

TEST(DestinationListBlock, ApplicationsWithoutAPanelNameStillTakeAnEntry) {
    const std::vector<Value> names{Value(), Value::integer(12), Value::string("Mail")};
    const auto block = MakeDestinationList(names);
    EXPECT_EQ(block.entryCount, 5);
    const std::vector<std::uint8_t> tail{0, 0, 0, 0, 4, 0, 'M', 'a', 'i', 'l'};
    const auto bytes = Bytes(block);
    ASSERT_GE(bytes.size(), tail.size());
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - static_cast<long>(tail.size()), bytes.end()),
              tail);
    EXPECT_EQ(block.length, 2u + 6u + 11u + 2u + 2u + 6u);
}

TEST(PanelName, TheSuffixGoesBeforeTheCutToFifteen) {
    EXPECT_EQ(EncodePanelName("Photo Album Manager.app"), Text("Photo Album Man"));
    EXPECT_EQ(EncodePanelName("Exactly15Chars!.app"), Text("Exactly15Chars!"));
    EXPECT_EQ(EncodePanelName("Sixteen chars!!!"), Text("Sixteen chars!!"));
    EXPECT_EQ(EncodePanelName("Preview.APP"), Text("Preview.APP"))
        << "the suffix is case-sensitive";
    EXPECT_EQ(EncodePanelName("Preview.app.app"), Text("Preview.app")) << "dropped once";
    EXPECT_EQ(EncodePanelName("File"), Text("File"));
}

TEST(PanelName, NothingButTheSuffixGivesLengthZero) {
    EXPECT_TRUE(EncodePanelName(".app").empty());
    EXPECT_TRUE(EncodePanelName("").empty());
}

TEST(PanelName, CharactersAreUtf16UnitsNotBytes) {
    // 15 two-byte UTF-8 characters fit whole: the cut counts characters.
    EXPECT_EQ(EncodePanelName("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                              "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"),
              std::vector<std::uint8_t>(15, 0xE9));
    // Code page 1252 has the euro sign and typographic quotes above 0x7F.
    EXPECT_EQ(EncodePanelName("\xE2\x82\xAC 5 \xE2\x80\x9Cok\xE2\x80\x9D"),
              (std::vector<std::uint8_t>{0x80, ' ', '5', ' ', 0x93, 'o', 'k', 0x94}));
}

TEST(PanelName, ConversionStopsAtTheFirstCharacterWindowsLatin1Lacks) {
    EXPECT_TRUE(EncodePanelName("\xE6\x97\xA5\xE6\x9C\xAC Scan").empty()) << "first character CJK";
    EXPECT_EQ(EncodePanelName("Scan \xCE\xA9 Pro"), Text("Scan ")) << "cut before the Greek omega";
    // An emoji is two UTF-16 units; neither converts.
    EXPECT_EQ(EncodePanelName("OK\xF0\x9F\x93\xB7.app"), Text("OK"));
    // Fourteen letters and an emoji: the fifteenth unit is half the emoji and ends the name.
    EXPECT_EQ(EncodePanelName("ABCDEFGHIJKLMN\xF0\x9F\x93\xB7Z"), Text("ABCDEFGHIJKLMN"));
}

}  // namespace
