#include "platform/prefs/domain_file.hpp"

#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/plist/describe.hpp"
#include "platform/plist/document.hpp"
#include "tests/support/descriptor_limit.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace prefs = platform::prefs;
using platform::plist::IntegerKind;
using platform::plist::Value;
using prefs::FileState;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

const char* const kXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\"><dict><key>name</key><string>Scan Hub</string>"
    "<key>count</key><integer>3</integer></dict></plist>\n";

std::string binary_document(const Value& value) {
    // Built with libplist itself, as another program would write it.
    auto xml = platform::plist::to_xml(value);
    plist_t node = nullptr;
    plist_from_xml(xml->data(), static_cast<std::uint32_t>(xml->size()), &node);
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    std::string result(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(node);
    return result;
}

std::vector<std::string> names_in(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(PrefsDomainFile, NothingReadableIsAnEmptyDomain) {
    TempDir dir;
    const auto file = dir / "d.plist";
    auto missing = prefs::read_domain_file(file);
    EXPECT_EQ(missing.state, FileState::Missing);
    EXPECT_EQ(missing.values, Value::dictionary());
    EXPECT_FALSE(missing.stamp.exists);

    write_file(file, "");
    EXPECT_EQ(prefs::read_domain_file(file).state, FileState::Empty);

    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    auto folder = prefs::read_domain_file(file);
    EXPECT_EQ(folder.state, FileState::Unreadable);
    EXPECT_EQ(folder.values, Value::dictionary());

    // A FIFO must not hang the reader.
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(prefs::read_domain_file(file).state, FileState::Unreadable);
}

TEST(PrefsDomainFile, ReadsXmlAndBinaryDictionaries) {
    TempDir dir;
    write_file(dir / "x.plist", kXml);
    auto xml = prefs::read_domain_file(dir / "x.plist");
    EXPECT_EQ(xml.state, FileState::Loaded);
    EXPECT_EQ(xml.values, Value::dictionary(
                              {{"name", Value::string("Scan Hub")}, {"count", Value::integer(3)}}));

    const auto stored =
        Value::dictionary({{"on", Value::boolean(true)}, {"n", Value::integer(-56)}});
    write_file(dir / "b.plist", binary_document(stored));
    auto binary = prefs::read_domain_file(dir / "b.plist");
    EXPECT_EQ(binary.state, FileState::Loaded);
    EXPECT_EQ(binary.values, stored);
}

TEST(PrefsDomainFile, AnythingButADictionaryIsCorrupt) {
    TempDir dir;
    write_file(dir / "a.plist", *platform::plist::to_xml(Value::array({Value::integer(1)})));
    write_file(dir / "g.plist", "<plist><dict><key>cut off");
    for (const char* name : {"a.plist", "g.plist"}) {
        auto read = prefs::read_domain_file(dir / name);
        EXPECT_EQ(read.state, FileState::Corrupt) << name;
        EXPECT_EQ(read.values, Value::dictionary()) << name;
    }
}

TEST(PrefsDomainFile, WritingAppliesOnlyTheChangesToWhatTheFileHoldsNow) {
    TempDir dir;
    const auto file = dir / "Preferences/ByHost/d.plist";
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"mine", Value::integer(1)}}));
    // Another writer's keys arrive in between; they must survive our next write.
    write_file(file, kXml);
    auto written = prefs::write_domain_changes(
        file, {{"mine", Value::integer(2)}, {"count", Value()}, {"added", Value::boolean(false)}});
    ASSERT_TRUE(written) << written.error().message;

    const auto expected = Value::dictionary({{"name", Value::string("Scan Hub")},
                                             {"mine", Value::integer(2)},
                                             {"added", Value::boolean(false)}});
    EXPECT_EQ(written->values, expected);
    EXPECT_EQ(prefs::read_domain_file(file).values, expected);
    EXPECT_EQ(written->stamp, prefs::current_stamp(file));
    // Nothing but the file and its lock is left in the folder.
    EXPECT_EQ(names_in(file.parent_path()), (std::vector<std::string>{"d.plist", "d.plist.lock"}));

    struct stat status {};
    ASSERT_EQ(::stat(file.parent_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700U) << "created folders are the user's own";
}

TEST(PrefsDomainFile, NumbersAndBooleansAreWrittenAsTheirOwnXmlKinds) {
    TempDir dir;
    const auto file = dir / "d.plist";
    ASSERT_TRUE(
        prefs::write_domain_changes(file, {{"octet", Value::integer(200, IntegerKind::SInt8)},
                                           {"ratio", Value::real(0.5)},
                                           {"yes", Value::boolean(true)},
                                           {"no", Value::boolean(false)}}));
    const std::string xml = read_file(file);
    EXPECT_NE(xml.find("<integer>-56</integer>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<real>0.5"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<true/>"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<false/>"), std::string::npos) << xml;
    EXPECT_EQ(xml.rfind("<?xml", 0), 0U);
}

TEST(PrefsDomainFile, ACorruptFileIsKeptAsideByTheNextWrite) {
    TempDir dir;
    const auto file = dir / "d.plist";
    const std::string garbage = "<plist><dict><key>half";
    write_file(file, garbage);
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::string("v")}}));
    EXPECT_EQ(read_file(dir / "d.plist.corrupt"), garbage);
    EXPECT_EQ(prefs::read_domain_file(file).values, Value::dictionary({{"k", Value::string("v")}}));

    // A folder in the file's place is kept aside too, with what it holds.
    std::filesystem::remove(file);
    std::filesystem::remove(dir / "d.plist.corrupt");
    write_file(file / "inside", "x");
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::string("w")}}));
    EXPECT_EQ(read_file(dir / "d.plist.corrupt/inside"), "x");
}

TEST(PrefsDomainFile, ADeeplyNestedFileIsCorruptAndKeptAsideByTheNextWrite) {
    TempDir dir;
    const auto file = dir / "d.plist";
    // 200,000 nested arrays never closed (1.4 MB, under the size cap): libplist builds them all
    // before it finds the end missing, and freeing them overflowed the stack.
    std::string deep = "<plist><dict><key>k</key>";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    write_file(file, deep);

    auto read = prefs::read_domain_file(file);
    EXPECT_EQ(read.state, FileState::Corrupt);
    EXPECT_EQ(read.values, Value::dictionary());
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::integer(1)}}));
    EXPECT_EQ(read_file(dir / "d.plist.corrupt"), deep);
    EXPECT_EQ(prefs::read_domain_file(file).values, Value::dictionary({{"k", Value::integer(1)}}));
}

TEST(PrefsDomainFile, DamagedFilesAreKeptAsideNewestFirstTenAtMost) {
    TempDir dir;
    const auto file = dir / "d.plist";
    // A folder in the file's place is the first damage, kept with what it holds.
    write_file(file / "inside", "x");
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::integer(0)}}));
    for (int n = 1; n <= 11; ++n) {
        write_file(file, "<plist><dict><key>damaged " + std::to_string(n));
        auto written = prefs::write_domain_changes(file, {{"k", Value::integer(n)}});
        ASSERT_TRUE(written) << n << ": " << written.error().message;
    }
    EXPECT_EQ(prefs::read_domain_file(file).values, Value::dictionary({{"k", Value::integer(11)}}));
    EXPECT_EQ(read_file(dir / "d.plist.corrupt"), "<plist><dict><key>damaged 11");
    for (int older = 1; older <= 9; ++older) {
        EXPECT_EQ(read_file(dir / ("d.plist.corrupt." + std::to_string(older))),
                  "<plist><dict><key>damaged " + std::to_string(11 - older));
    }
    std::vector<std::string> expected = {"d.plist", "d.plist.corrupt"};
    for (int older = 1; older <= 9; ++older)
        expected.push_back("d.plist.corrupt." + std::to_string(older));
    expected.push_back("d.plist.lock");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names_in(dir.path()), expected) << "the folder and the first file were dropped";

    // A folder kept aside moves along whole.
    TempDir other;
    const auto second = other / "d.plist";
    write_file(second / "inside", "x");
    ASSERT_TRUE(prefs::write_domain_changes(second, {{"k", Value::integer(0)}}));
    write_file(second, "damaged");
    ASSERT_TRUE(prefs::write_domain_changes(second, {{"k", Value::integer(1)}}));
    EXPECT_EQ(read_file(other / "d.plist.corrupt"), "damaged");
    EXPECT_EQ(read_file(other / "d.plist.corrupt.1/inside"), "x");
}

TEST(PrefsDomainFile, AFileLargerThanTheCapIsNeitherReadNorReplaced) {
    TempDir dir;
    const auto file = dir / "d.plist";
    write_file(file, kXml);
    // A sparse file: the size is what counts, and nothing need be written for it.
    std::filesystem::resize_file(file, prefs::max_domain_file_size + 1);
    const auto before = prefs::current_stamp(file);

    auto read = prefs::read_domain_file(file);
    EXPECT_EQ(read.state, FileState::TooLarge);
    EXPECT_EQ(read.values, Value::dictionary());
    auto written = prefs::write_domain_changes(file, {{"k", Value::integer(1)}});
    ASSERT_FALSE(written);
    EXPECT_NE(written.error().message.find("too large"), std::string::npos)
        << written.error().message;
    EXPECT_EQ(prefs::current_stamp(file), before) << "left untouched";
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"d.plist", "d.plist.lock"}));

    // At the cap itself the file is read as usual (libplist stops at the end of the dictionary).
    std::filesystem::resize_file(file, prefs::max_domain_file_size);
    auto at_cap = prefs::read_domain_file(file);
    EXPECT_EQ(at_cap.state, FileState::Loaded);
    EXPECT_EQ(at_cap.values.get("name"), Value::string("Scan Hub"));
}

TEST(PrefsDomainFile, APlantedLockLinkIsNotFollowed) {
    TempDir dir;
    const auto file = dir / "d.plist";
    std::filesystem::create_directory(dir / "elsewhere");
    std::filesystem::create_symlink(dir / "elsewhere/planted", dir / "d.plist.lock");
    EXPECT_FALSE(prefs::write_domain_changes(file, {{"k", Value::integer(1)}}));
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere/planted"))
        << "nothing made at the link's target";
    EXPECT_FALSE(std::filesystem::exists(file));

    // Nor is one to an existing file: the lock would be taken on that file instead.
    write_file(dir / "elsewhere/planted", "theirs");
    EXPECT_FALSE(prefs::write_domain_changes(file, {{"k", Value::integer(1)}}));
    EXPECT_EQ(read_file(dir / "elsewhere/planted"), "theirs");
}

TEST(PrefsDomainFile, AFailedWriteLeavesTheFileAsItWas) {
    TempDir dir;
    write_file(dir / "blocked", "a file where a folder should be");
    auto failed = prefs::write_domain_changes(dir / "blocked/d.plist", {{"k", Value::integer(1)}});
    EXPECT_FALSE(failed);

    write_file(dir / "d.plist", kXml);
    // A file URL has no property-list form: the write fails before anything is replaced.
    auto refused = prefs::write_domain_changes(dir / "d.plist", {{"url", Value::file_url("/x")}});
    EXPECT_FALSE(refused);
    EXPECT_EQ(read_file(dir / "d.plist"), kXml);
    EXPECT_EQ(names_in(dir.path()),
              (std::vector<std::string>{"blocked", "d.plist", "d.plist.lock"}));
}

TEST(PrefsDomainFile, AFileThatCannotBeReadForNowIsNeitherMovedNorReplaced) {
    TempDir dir;
    const auto file = dir / "d.plist";
    const auto before = Value::dictionary({{"a", Value::integer(1)}, {"b", Value::integer(2)}});
    ASSERT_TRUE(
        prefs::write_domain_changes(file, {{"a", Value::integer(1)}, {"b", Value::integer(2)}}));
    {
        // Room for the lock file only: the file itself cannot be opened.
        const testing_support::SpareDescriptors limit(1);
        EXPECT_FALSE(prefs::write_domain_changes(file, {{"c", Value::integer(3)}}));
    }
    EXPECT_EQ(prefs::read_domain_file(file).values, before);
    EXPECT_EQ(names_in(dir.path()), (std::vector<std::string>{"d.plist", "d.plist.lock"}));
}

TEST(PrefsDomainFile, StampsTellAReplacedFileFromTheHeldOne) {
    TempDir dir;
    const auto file = dir / "d.plist";
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::string("aaaa")}}));
    auto first = prefs::read_domain_file(file);
    EXPECT_EQ(first.stamp, prefs::current_stamp(file));
    // Same size, same second: only the inode tells the files apart, and the held descriptor
    // keeps the old inode's number from being handed to the new file.
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::string("bbbb")}}));
    EXPECT_NE(first.stamp, prefs::current_stamp(file));
    EXPECT_EQ(first.stamp.size, prefs::current_stamp(file).size);
}

}  // namespace
