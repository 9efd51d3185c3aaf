// What a person is told about preference files: a damaged file kept aside (with both paths), a
// damaged or oversized file while it stays so (once, however often it is met), and no word
// about files that read well.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/plist/value.hpp"
#include "platform/prefs/domain_file.hpp"
#include "tests/support/recorded_entries.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace prefs = platform::prefs;
using platform::plist::Value;
using testing_support::FieldOf;
using testing_support::RecordedEntries;
using testing_support::TempDir;
using testing_support::write_file;

const prefs::Changes kChange{{"k", Value::string("v")}};

// "CONDITION state" or "EVENT" of each entry about the file, in order.
std::vector<std::string> Story(const RecordedEntries& recorded, const std::filesystem::path& file) {
    std::vector<std::string> story;
    for (const auto& entry : recorded.With("PREFERENCE_FILE", file.string())) {
        const std::string event = FieldOf(entry, "EVENT");
        story.push_back(!event.empty() ? event
                                       : FieldOf(entry, "CONDITION") + " " +
                                             FieldOf(entry, "CONDITION_STATE"));
    }
    return story;
}

TEST(PrefsDomainFileReports, ADamagedFileIsReportedOnceAndItsKeepingAsideWithBothPaths) {
    RecordedEntries recorded;
    TempDir dir;
    const auto file = dir / "d.plist";
    write_file(file, "<plist><dict><key>damaged");
    for (int access = 0; access < 50; ++access) (void)prefs::read_domain_file(file);
    ASSERT_TRUE(prefs::write_domain_changes(file, kChange));
    (void)prefs::read_domain_file(file);

    EXPECT_EQ(Story(recorded, file), (std::vector<std::string>{"PREFERENCE_FILE_DAMAGED began",
                                                               "PREFERENCE_FILE_KEPT_ASIDE",
                                                               "PREFERENCE_FILE_DAMAGED ended"}));
    const auto kept = recorded.With("EVENT", "PREFERENCE_FILE_KEPT_ASIDE");
    ASSERT_EQ(kept.size(), 1U);
    EXPECT_EQ(FieldOf(kept[0], "KEPT_AS"), (dir / "d.plist.corrupt").string());
    EXPECT_NE(kept[0].message.find((dir / "d.plist.corrupt").string()), std::string::npos)
        << kept[0].message;
}

TEST(PrefsDomainFileReports, AnOversizedFileIsReportedOnceUntilItIsReadAgain) {
    RecordedEntries recorded;
    TempDir dir;
    const auto file = dir / "d.plist";
    write_file(file, "");
    std::filesystem::resize_file(file, prefs::max_domain_file_size + 1);
    for (int access = 0; access < 20; ++access) {
        (void)prefs::read_domain_file(file);
        EXPECT_FALSE(prefs::write_domain_changes(file, kChange));
    }
    EXPECT_EQ(Story(recorded, file), (std::vector<std::string>{"PREFERENCE_FILE_TOO_LARGE began"}));

    std::filesystem::remove(file);
    ASSERT_TRUE(prefs::write_domain_changes(file, kChange));
    EXPECT_EQ(Story(recorded, file), (std::vector<std::string>{"PREFERENCE_FILE_TOO_LARGE began",
                                                               "PREFERENCE_FILE_TOO_LARGE ended"}));
}

TEST(PrefsDomainFileReports, FilesThatReadWellOrAreMissingSayNothing) {
    RecordedEntries recorded;
    TempDir dir;
    const auto file = dir / "d.plist";
    (void)prefs::read_domain_file(file);
    ASSERT_TRUE(prefs::write_domain_changes(file, kChange));
    (void)prefs::read_domain_file(file);
    write_file(dir / "empty.plist", "");
    (void)prefs::read_domain_file(dir / "empty.plist");
    EXPECT_TRUE(recorded.All().empty()) << recorded.All().front().message;
}

}  // namespace
