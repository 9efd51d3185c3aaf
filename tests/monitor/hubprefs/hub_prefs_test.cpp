#include "monitor/hubprefs/hub_prefs.hpp"

#include <gtest/gtest.h>

#include "platform/plist/describe.hpp"
#include "platform/plist/document.hpp"
#include "platform/prefs/domain.hpp"
#include "tests/support/descriptor_limit.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

using monitor::HubPrefs;
using platform::four_char_code;
using platform::plist::Value;
using testing_support::read_file;
using testing_support::write_file;

constexpr const char* kHub = "com.velmora.aio.scanhub.2007";

Value Entry(const char* name, const char* location, const char* signature, Value twainType) {
    return Value::dictionary({{"ApplicationName", Value::string(name)},
                              {"ApplicationLocation", Value::string(location)},
                              {"ApplicationSignature", Value::string(signature)},
                              {"ApplicationTWAINType", std::move(twainType)}});
}

class HubPrefsTest : public ::testing::Test {
protected:
    std::filesystem::path File(const std::string& domain = kHub) const {
        return env.config_home() / "Preferences" / (domain + ".plist");
    }
    // What the scan-destination application would have stored.
    void Store(const Value& values, const std::string& domain = kHub) const {
        write_file(File(domain), *platform::plist::to_xml(values));
    }
    Value Stored(const std::string& domain = kHub) const {
        auto value = platform::plist::parse(read_file(File(domain)));
        return value ? *value : Value();
    }
    void StoreList(std::vector<Value> entries) const {
        Store(Value::dictionary({{"ApplicationList", Value::array(std::move(entries))}}));
    }

    testing_support::IsolatedEnvironment env;
};

TEST_F(HubPrefsTest, ButtonPressChoicesHaveTheirDefaults) {
    HubPrefs fresh(false, kHub);
    EXPECT_TRUE(fresh.ShowScanUIForButtonPress());
    EXPECT_FALSE(fresh.ShowCopyUIForButtonPress());

    Store(Value::dictionary({{"ShowScanUIForButtonPress", Value::integer(2)},
                             {"ShowCopyUIForButtonPress", Value::integer(1)}}));
    HubPrefs set(false, kHub);
    ASSERT_TRUE(set.Synchronize());
    EXPECT_FALSE(set.ShowScanUIForButtonPress()) << "only exactly 1 shows the interface";
    EXPECT_TRUE(set.ShowCopyUIForButtonPress());

    Store(Value::dictionary({{"ShowCopyUIForButtonPress", Value::string("1")}}));
    ASSERT_TRUE(set.Synchronize());
    EXPECT_FALSE(set.ShowCopyUIForButtonPress()) << "not a number: the default";
    EXPECT_TRUE(set.ShowScanUIForButtonPress());
}

TEST_F(HubPrefsTest, StepsAreMarkedOnceAndRememberedByLaterObjects) {
    HubPrefs prefs(false, kHub);
    EXPECT_FALSE(prefs.MarkChooseFileLocationSet());
    EXPECT_TRUE(prefs.MarkChooseFileLocationSet());
    EXPECT_TRUE(HubPrefs(true, kHub).MarkChooseFileLocationSet());
    EXPECT_EQ(Stored().get("ChooseFileLocationSet"), Value::boolean(true));
    EXPECT_FALSE(Stored().contains("SaveFileLocationSet"));
    EXPECT_FALSE(prefs.MarkSaveFileLocationSet());
    EXPECT_TRUE(prefs.MarkSaveFileLocationSet());
}

TEST_F(HubPrefsTest, AFirstReadStoresAnEmptyListAndReadOnlyObjectsEditNothing) {
    HubPrefs prefs(false, kHub);
    EXPECT_EQ(prefs.ApplicationCount(), 0);
    EXPECT_EQ(Stored(), Value::dictionary({{"ApplicationList", Value::array()}}));

    EXPECT_FALSE(prefs.IsEditable());
    EXPECT_TRUE(prefs.MutableApplicationList().is_null());
    Value entry;
    EXPECT_FALSE(prefs.AddApplication("Scan Hub", Value::file_url("/Applications/Scan Hub.app"),
                                      four_char_code("QH06"), Value::integer(1), &entry));
    EXPECT_TRUE(entry.is_null());
    EXPECT_EQ(prefs.ApplicationCount(), 0);
    EXPECT_EQ(Stored(), Value::dictionary({{"ApplicationList", Value::array()}}));

    StoreList({Entry("Preview", "file:///Applications/Preview.app", "prvw", Value::integer(0))});
    HubPrefs reader(false, kHub);
    ASSERT_TRUE(reader.Synchronize());
    reader.RemoveApplication(reader.ApplicationAt(0));
    reader.ReplaceApplicationAt(0, "Other", Value::file_url("/x"), 0, Value());
    EXPECT_EQ(reader.ApplicationNameAt(0), Value::string("Preview"));
    EXPECT_EQ(Stored().get("ApplicationList").size(), 1U);
}

TEST_F(HubPrefsTest, ADeeplyNestedFileIsKeptAsideAndAnEmptyListStored) {
    // Never closed: libplist builds the arrays before it finds the end missing.
    std::string deep = "<plist><dict><key>ApplicationList</key>";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    write_file(File(), deep);

    HubPrefs prefs(false, kHub);
    EXPECT_EQ(prefs.ApplicationCount(), 0);
    EXPECT_EQ(read_file(File().string() + ".corrupt"), deep) << "the damaged file is kept";
    EXPECT_EQ(Stored(), Value::dictionary({{"ApplicationList", Value::array()}}));
}

TEST_F(HubPrefsTest, AListNotReadBecauseTheFirstReadFailedIsNotReplaced) {
    StoreList({Entry("A", "file:///a", "aaaa", Value::integer(1))});
    const Value before = Stored();
    {
        // No descriptor left: the first read of the preferences in this process fails. (Kept to
        // the domain itself: the sanitizers' checks of virtual calls need descriptors too.)
        const testing_support::SpareDescriptors limit(0);
        auto& domain = platform::prefs::shared_domain(kHub, platform::prefs::Scope::AnyHost);
        EXPECT_TRUE(domain.copy_value("ApplicationList").is_null());
    }
    HubPrefs prefs(false, kHub);
    EXPECT_EQ(prefs.ApplicationCount(), 1) << "the list is read now";
    ASSERT_TRUE(prefs.Synchronize());
    EXPECT_EQ(Stored(), before) << "and nothing replaced it";
}

TEST_F(HubPrefsTest, AListThatCannotBeReadIsNeitherCachedNorEdited) {
    StoreList({Entry("A", "file:///a", "aaaa", Value::integer(1))});
    const std::string stored = read_file(File());
    // Too large to be read: the domain holds nothing, though the file may hold a list.
    std::filesystem::resize_file(File(), platform::prefs::max_domain_file_size + 1);
    const auto oversized = read_file(File());

    HubPrefs prefs(true, kHub);
    EXPECT_EQ(prefs.ApplicationCount(), 0);
    EXPECT_TRUE(prefs.MutableApplicationList().is_null());
    EXPECT_FALSE(prefs.AddApplication("B", Value::file_url("/b"), four_char_code("bbbb"),
                                      Value::integer(2), nullptr));
    (void)prefs.Synchronize();
    EXPECT_EQ(read_file(File()), oversized) << "left untouched";

    // Once the file can be read, the same object reads the list and edits it.
    write_file(File(), stored);
    EXPECT_EQ(prefs.ApplicationCount(), 1);
    ASSERT_TRUE(prefs.AddApplication("B", Value::file_url("/b"), four_char_code("bbbb"),
                                     Value::integer(2), nullptr));
    EXPECT_EQ(Stored().get("ApplicationList").size(), 2U);
}

TEST_F(HubPrefsTest, EditsThatCannotBeStoredAreRefusedAndChangeNothing) {
    HubPrefs prefs(true, kHub);
    Value a;
    ASSERT_TRUE(prefs.AddApplication("A", Value::file_url("/a"), four_char_code("aaaa"),
                                     Value::integer(1), &a));
    // A zero byte in the code, or a NUL in the name, has no place in the preferences file; nor
    // has a value without a property-list form.
    Value entry;
    EXPECT_FALSE(
        prefs.AddApplication("B", Value::file_url("/b"), 0x62006262U, Value::integer(2), &entry));
    EXPECT_TRUE(entry.is_null());
    EXPECT_FALSE(prefs.AddApplication(std::string_view("B\0b", 3), Value::file_url("/b"),
                                      four_char_code("bbbb"), Value::integer(2), nullptr));
    EXPECT_FALSE(prefs.AddApplication("B", Value::file_url("/b"), four_char_code("bbbb"),
                                      Value::file_url("/twain"), nullptr));
    prefs.ReplaceApplicationAt(0, "Z", Value::file_url("/z"), 0x7A7A7A00U, Value::integer(9));
    EXPECT_EQ(prefs.ApplicationCount(), 1);
    EXPECT_EQ(prefs.IndexOfApplication(a), 0) << "the very entry is still in place";
    EXPECT_EQ(prefs.ApplicationNameAt(0), Value::string("A"));

    // Later edits through the same object are stored.
    ASSERT_TRUE(prefs.AddApplication("B", Value::file_url("/b"), four_char_code("bbbb"),
                                     Value::integer(2), nullptr));
    EXPECT_EQ(Stored().get("ApplicationList"),
              Value::array({Entry("A", "file:///a", "aaaa", Value::integer(1)),
                            Entry("B", "file:///b", "bbbb", Value::integer(2))}));

    // A list that cannot be stored as it stands (changed by hand through the shared handle) is
    // not stored without an entry either, and keeps that entry.
    prefs.MutableApplicationList().append(Value::file_url("/by hand"));
    prefs.RemoveApplication(a);
    EXPECT_EQ(prefs.IndexOfApplication(a), 0);
    EXPECT_EQ(Stored().get("ApplicationList").size(), 2U);
}

TEST_F(HubPrefsTest, EntriesReadAsStored) {
    StoreList(
        {Entry("Scan Hub", "file:///Applications/Scan%20Hub.app", "QH06", Value::integer(70000)),
         Value::dictionary({{"ApplicationName", Value::string("Mail")},
                            {"ApplicationSignature", Value::string("emal\xC2\xA9")},
                            {"ApplicationTWAINType", Value::string("two")},
                            {"OpName", Value::string("Mail.app")}})});
    HubPrefs prefs(false, kHub);
    ASSERT_EQ(prefs.ApplicationCount(), 2);
    EXPECT_EQ(prefs.ApplicationNameAt(0), Value::string("Scan Hub"));
    EXPECT_TRUE(prefs.OpNameAt(0).is_null());
    EXPECT_EQ(prefs.OpNameAt(1), Value::string("Mail.app"));
    EXPECT_EQ(prefs.ApplicationSignatureAt(0), four_char_code("QH06"));
    EXPECT_EQ(prefs.ApplicationSignatureAt(1), 0U) << "five characters are no code";
    EXPECT_EQ(prefs.ApplicationTWAINTypeAt(0), Value::integer(70000));
    EXPECT_EQ(prefs.ApplicationTWAINTypeValueAt(0), static_cast<std::int16_t>(70000 - 65536));
    EXPECT_EQ(prefs.ApplicationTWAINTypeValueAt(1), 0);
    EXPECT_EQ(prefs.ApplicationLocationAt(0), Value::file_url("/Applications/Scan Hub.app"));
    EXPECT_TRUE(prefs.ApplicationLocationAt(1).is_null());

    // Outside the list there is nothing, never a crash.
    for (const long i : {-1L, 2L, 1000L}) {
        EXPECT_TRUE(prefs.ApplicationAt(i).is_null());
        EXPECT_TRUE(prefs.ApplicationNameAt(i).is_null());
        EXPECT_EQ(prefs.ApplicationSignatureAt(i), 0U);
    }
    EXPECT_EQ(prefs.PlatformSignature(), four_char_code("FRSX"));
}

TEST_F(HubPrefsTest, SignaturesMapEachByteToOneCharacter) {
    HubPrefs prefs(true, kHub);
    const auto code = 0x51A9FF30U;  // 'Q', 0xA9, 0xFF, '0'
    ASSERT_TRUE(prefs.AddApplication("X", Value::file_url("/x"), code, Value(), nullptr));
    EXPECT_EQ(Stored().get("ApplicationList").at(0).get("ApplicationSignature"),
              Value::string("Q\xC2\xA9\xC3\xBF"
                            "0"));
    EXPECT_EQ(HubPrefs(false, kHub).ApplicationSignatureAt(0), code);
}

TEST_F(HubPrefsTest, AddedApplicationsAreStoredInNameOrder) {
    HubPrefs prefs(true, kHub);
    Value b;
    ASSERT_TRUE(prefs.AddApplication("b", Value::file_url("/Applications/b.app"),
                                     four_char_code("bbbb"), Value::integer(2), &b));
    Value a;
    ASSERT_TRUE(prefs.AddApplication("A", Value::file_url("/Applications/A b.app"),
                                     four_char_code("aaaa"), Value::integer(1), &a));
    EXPECT_EQ(prefs.IndexOfApplication(a), 0);
    EXPECT_EQ(prefs.IndexOfApplication(b), 1);
    EXPECT_EQ(Stored().get("ApplicationList"),
              Value::array({Entry("A", "file:///Applications/A%20b.app", "aaaa", Value::integer(1)),
                            Entry("b", "file:///Applications/b.app", "bbbb", Value::integer(2))}));

    EXPECT_FALSE(prefs.AddApplication("c", Value::string("/not/a/url"), 0, Value(), nullptr));
    EXPECT_EQ(prefs.ApplicationCount(), 2);
}

TEST_F(HubPrefsTest, NamesAreFoundExactlyOrIgnoringCase) {
    StoreList({Entry("Scan Hub", "file:///Applications/Scan%20Hub.app", "QH06", Value::integer(1)),
               Entry("\xC3\x89"
                     "diteur",
                     "file:///Applications/E.app", "EDIT", Value::integer(1))});
    HubPrefs prefs(false, kHub);
    EXPECT_EQ(prefs.IndexOfApplicationName("Scan Hub"), 0);
    EXPECT_EQ(prefs.IndexOfApplicationName("scan hub"), -1);
    EXPECT_TRUE(prefs.HasApplicationNamed("scan HUB", four_char_code("QH06")));
    EXPECT_FALSE(prefs.HasApplicationNamed("scan HUB", four_char_code("QH07")));
    EXPECT_TRUE(
        prefs.HasApplicationNamed("\xC3\xA9"
                                  "DITEUR",
                                  four_char_code("EDIT")));
    EXPECT_FALSE(prefs.HasApplicationNamed("Scan Hu", four_char_code("QH06")));

    EXPECT_TRUE(prefs.HasApplicationAtLocation(Value::file_url("/APPLICATIONS/scan hub.app"),
                                               four_char_code("QH06")));
    EXPECT_FALSE(prefs.HasApplicationAtLocation(Value::file_url("/Applications/Scan Hub.app"),
                                                four_char_code("EDIT")));
    EXPECT_FALSE(prefs.HasApplicationAtLocation(Value::string("file:///Applications/E.app"),
                                                four_char_code("EDIT")));
}

TEST_F(HubPrefsTest, EntriesAreRemovedByIdentityAndReplacedInPlace) {
    StoreList({Entry("A", "file:///a", "aaaa", Value::integer(1)),
               Value::dictionary(
                   {{"ApplicationName", Value::string("B")}, {"OpName", Value::string("B.app")}}),
               Entry("C", "file:///c", "cccc", Value::integer(3))});
    HubPrefs prefs(true, kHub);
    const Value c = prefs.ApplicationAt(2);
    prefs.RemoveApplication(c.deep_copy());
    EXPECT_EQ(prefs.ApplicationCount(), 3) << "an equal entry is not that entry";

    prefs.ReplaceApplicationAt(1, "Z", Value::file_url("/z"), four_char_code("zzzz"),
                               Value::integer(9));
    EXPECT_EQ(prefs.ApplicationNameAt(1), Value::string("Z")) << "no re-sort";
    EXPECT_EQ(prefs.OpNameAt(1), Value::string("B.app")) << "other keys of the entry stay";
    prefs.ReplaceApplicationAt(3, "Nowhere", Value::file_url("/n"), 0, Value());

    prefs.RemoveApplication(c);
    EXPECT_EQ(prefs.IndexOfApplication(c), -1);
    EXPECT_EQ(Stored().get("ApplicationList"),
              Value::array({Entry("A", "file:///a", "aaaa", Value::integer(1)),
                            Value::dictionary({{"ApplicationName", Value::string("Z")},
                                               {"OpName", Value::string("B.app")},
                                               {"ApplicationLocation", Value::string("file:///z")},
                                               {"ApplicationSignature", Value::string("zzzz")},
                                               {"ApplicationTWAINType", Value::integer(9)}})}));
}

TEST_F(HubPrefsTest, FileReferencesNameExistingFilesOnly) {
    write_file(env.base() / "Apps/Scan Hub.app/Contents/Info.plist", "");
    const std::string url = "file://" + (env.base() / "Apps/Scan%20Hub.app").string();
    StoreList({Entry("Scan Hub", url.c_str(), "QH06", Value::integer(1)),
               Entry("Gone", "file:///nonexistent/Gone.app", "gone", Value::integer(1)),
               Value::dictionary({{"ApplicationName", Value::string("Nowhere")}})});
    HubPrefs prefs(false, kHub);
    platform::folders::FileRef fileRef;
    EXPECT_EQ(prefs.ApplicationFSSpecAt(0, fileRef), 0);
    EXPECT_EQ(fileRef.path, std::filesystem::canonical(env.base() / "Apps/Scan Hub.app"));
    const auto found = fileRef;
    EXPECT_EQ(prefs.ApplicationFSSpecAt(1, fileRef), -43);
    EXPECT_EQ(prefs.ApplicationFSSpecAt(2, fileRef), -43);
    EXPECT_EQ(fileRef, found) << "a failure leaves the reference alone";
}

TEST_F(HubPrefsTest, TheListIsReadOncePerObject) {
    StoreList({Entry("A", "file:///a", "aaaa", Value::integer(1))});
    HubPrefs early(false, kHub);
    EXPECT_EQ(early.ApplicationCount(), 1);
    StoreList({});
    ASSERT_TRUE(early.Synchronize());
    EXPECT_EQ(early.ApplicationCount(), 1);
    EXPECT_EQ(HubPrefs(false, kHub).ApplicationCount(), 0);
}

// A subclass that renames every entry changes every reader, since lookups go through the
// virtual operations.
class RenamingPrefs : public HubPrefs {
public:
    using HubPrefs::HubPrefs;
    Value ApplicationValueAt(long i, std::string_view key) override {
        if (key == "ApplicationName") return Value::string("Renamed " + std::to_string(i));
        return HubPrefs::ApplicationValueAt(i, key);
    }
};

TEST_F(HubPrefsTest, LookupsGoThroughTheVirtualOperations) {
    StoreList({Entry("A", "file:///a", "aaaa", Value::integer(1))});
    RenamingPrefs prefs(false, kHub);
    EXPECT_EQ(prefs.ApplicationNameAt(0), Value::string("Renamed 0"));
    EXPECT_EQ(prefs.IndexOfApplicationName("Renamed 0"), 0);
    EXPECT_TRUE(prefs.HasApplicationNamed("renamed 0", four_char_code("aaaa")));
}

TEST_F(HubPrefsTest, WithoutAnIdentifierTheProgramsOwnPreferencesAreUsed) {
    Store(Value::dictionary({{"ShowScanUIForButtonPress", Value::integer(0)}}),
          "test_monitor_hubprefs");
    HubPrefs prefs(false, std::nullopt);
    EXPECT_FALSE(prefs.ShowScanUIForButtonPress());
}

}  // namespace
