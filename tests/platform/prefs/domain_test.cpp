#include "platform/prefs/domain.hpp"

#include <gtest/gtest.h>

#include "platform/plist/describe.hpp"
#include "platform/plist/document.hpp"
#include "tests/platform/prefs/forked_child.hpp"
#include "tests/support/descriptor_limit.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

namespace prefs = platform::prefs;
using platform::plist::Value;
using prefs::Domain;
using prefs::Scope;
using testing_support::IsolatedEnvironment;
using testing_support::read_file;
using testing_support::write_file;

Value on_disk(const std::filesystem::path& file) { return prefs::read_domain_file(file).values; }

class PrefsDomain : public ::testing::Test {
protected:
    IsolatedEnvironment env;
    std::filesystem::path file = env.config_home() / "Preferences/com.example.app.plist";
    Domain& domain = prefs::shared_domain("com.example.app", Scope::AnyHost);
};

TEST_F(PrefsDomain, ChangesAreSeenAtOnceAndWrittenBySynchronize) {
    EXPECT_TRUE(domain.copy_value("k").is_null());
    ASSERT_TRUE(domain.set_value("k", Value::string("v")));
    EXPECT_EQ(domain.copy_value("k"), Value::string("v"));
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written before synchronizing";

    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(on_disk(file), Value::dictionary({{"k", Value::string("v")}}));
    EXPECT_EQ(domain.copy_value("k"), Value::string("v"));

    ASSERT_TRUE(domain.set_value("k", Value()));
    EXPECT_TRUE(domain.copy_value("k").is_null());
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(on_disk(file), Value::dictionary());
}

TEST_F(PrefsDomain, OneDomainPerFileInTheProcess) {
    EXPECT_EQ(&domain, &prefs::shared_domain("com.example.app", Scope::AnyHost));
    EXPECT_NE(&domain, &prefs::shared_domain("com.example.app", Scope::CurrentHost));
    EXPECT_NE(&domain, &prefs::shared_domain("com.example.other", Scope::AnyHost));
    EXPECT_EQ(prefs::shared_domain("com.example.app", Scope::CurrentHost).file(),
              prefs::domain_path("com.example.app", Scope::CurrentHost));

    // Another configuration folder is another file, hence another domain.
    ::setenv("XDG_CONFIG_HOME", (env.base() / "elsewhere").c_str(), 1);
    EXPECT_NE(&domain, &prefs::shared_domain("com.example.app", Scope::AnyHost));
}

TEST_F(PrefsDomain, ValuesGoInAndComeOutAsCopies) {
    Value list = Value::array({Value::integer(1)});
    ASSERT_TRUE(domain.set_value("list", list));
    list.append(Value::integer(2));
    Value out = domain.copy_value("list");
    EXPECT_EQ(out.size(), 1U);
    out.append(Value::integer(3));
    EXPECT_EQ(domain.copy_value("list").size(), 1U);

    ASSERT_TRUE(domain.synchronize());
    Value synced = domain.copy_value("list");
    synced.set_at(0, Value::string("changed"));
    EXPECT_EQ(domain.copy_value("list"), Value::array({Value::integer(1)}));
}

TEST_F(PrefsDomain, ValuesWithoutAPropertyListFormAreRefused) {
    ASSERT_TRUE(domain.set_value("k", Value::integer(1)));
    EXPECT_FALSE(domain.set_value("k", Value::file_url("/Applications")));
    EXPECT_FALSE(domain.set_value("k", Value::array({Value::file_url("/x")})));
    EXPECT_FALSE(domain.set_value(std::string_view("a\0b", 3), Value::integer(2)));
    EXPECT_EQ(domain.copy_value("k"), Value::integer(1));
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(on_disk(file), Value::dictionary({{"k", Value::integer(1)}}));
}

TEST_F(PrefsDomain, ADomainWithoutAFileHoldsNothing) {
    Domain& invalid = prefs::shared_domain("../escape", Scope::AnyHost);
    EXPECT_FALSE(invalid.file());
    EXPECT_FALSE(invalid.set_value("k", Value::integer(1)));
    EXPECT_FALSE(invalid.synchronize());
    EXPECT_TRUE(invalid.copy_value("k").is_null());
}

TEST_F(PrefsDomain, SynchronizeSeesWhatOthersWroteSinceTheLastRead) {
    ASSERT_TRUE(domain.set_value("mine", Value::integer(1)));
    ASSERT_TRUE(domain.synchronize());

    // Another program replaces the file; the cache keeps the old view until synchronizing.
    write_file(env.base() / "new.plist",
               *platform::plist::to_xml(Value::dictionary(
                   {{"mine", Value::integer(1)}, {"theirs", Value::string("x")}})));
    std::filesystem::rename(env.base() / "new.plist", file);
    EXPECT_TRUE(domain.copy_value("theirs").is_null());
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(domain.copy_value("theirs"), Value::string("x"));

    // An editor that rewrites the file in place is noticed as well.
    write_file(file,
               *platform::plist::to_xml(Value::dictionary({{"edited", Value::boolean(true)}})));
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(domain.copy_value("edited"), Value::boolean(true));
    EXPECT_TRUE(domain.copy_value("mine").is_null());

    std::filesystem::remove(file);
    ASSERT_TRUE(domain.synchronize());
    EXPECT_TRUE(domain.copy_value("edited").is_null());
}

TEST_F(PrefsDomain, AWriteKeepsWhatOthersWroteSinceItsLastRead) {
    ASSERT_TRUE(domain.set_value("mine", Value::integer(1)));
    ASSERT_TRUE(domain.synchronize());
    const auto with = [](const char* theirs, int mine) {
        return Value::dictionary(
            {{"mine", Value::integer(mine)}, {"theirs", Value::string(theirs)}});
    };

    // Another program replaces the file.
    write_file(env.base() / "new.plist", *platform::plist::to_xml(with("a", 1)));
    std::filesystem::rename(env.base() / "new.plist", file);
    ASSERT_TRUE(domain.set_value("mine", Value::integer(2)));
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(on_disk(file), with("a", 2));

    // An editor rewrites it in place, same size, perhaps within the same clock tick as the
    // write before: only the bytes tell.
    write_file(file, *platform::plist::to_xml(with("b", 2)));
    ASSERT_TRUE(domain.set_value("mine", Value::integer(3)));
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(on_disk(file), with("b", 3));
    EXPECT_EQ(domain.copy_value("theirs"), Value::string("b"));
}

TEST_F(PrefsDomain, AReadThatFailsForNowKeepsTheLastViewAndIsTriedAgain) {
    ASSERT_TRUE(domain.set_value("k", Value::integer(1)));
    ASSERT_TRUE(domain.synchronize());
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::integer(2)}}));
    {
        const testing_support::SpareDescriptors limit(0);
        (void)domain.synchronize();
    }
    EXPECT_EQ(domain.copy_value("k"), Value::integer(1));
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(domain.copy_value("k"), Value::integer(2));
}

TEST_F(PrefsDomain, AFirstReadThatFailsForNowLeavesTheDomainUnread) {
    ASSERT_TRUE(prefs::write_domain_changes(file, {{"k", Value::integer(1)}}));
    {
        const testing_support::SpareDescriptors limit(0);
        EXPECT_TRUE(domain.copy_value("k").is_null());
        auto unknown = domain.look_up("k");
        EXPECT_FALSE(unknown) << "absent, or only not read?";
    }
    // Read on the next use, without waiting for a synchronization.
    auto known = domain.look_up("k");
    ASSERT_TRUE(known);
    EXPECT_EQ(*known, Value::integer(1));
    EXPECT_EQ(domain.copy_value("k"), Value::integer(1));
    auto absent = domain.look_up("absent");
    ASSERT_TRUE(absent);
    EXPECT_TRUE(absent->is_null());
}

TEST_F(PrefsDomain, AnotherProcessesWriteIsSeenWithoutRestart) {
    ASSERT_TRUE(domain.set_value("parent", Value::integer(1)));
    ASSERT_TRUE(domain.synchronize());
    EXPECT_TRUE(domain.copy_value("child").is_null());

    const int status = testing_support::run_in_child([] {
        Domain& theirs = prefs::shared_domain("com.example.app", Scope::AnyHost);
        (void)theirs.synchronize();
        const bool ok = theirs.set_value("child", Value::string("hello")) &&
                        theirs.set_value("parent", Value()) && theirs.synchronize();
        return ok ? 0 : 1;
    });
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(domain.copy_value("child"), Value::string("hello"));
    EXPECT_TRUE(domain.copy_value("parent").is_null()) << "a removal is a change like any other";
}

TEST_F(PrefsDomain, ACorruptFileReadsEmptyAndIsKeptAsideWhenWritten) {
    const std::string garbage = "bplist00 but not really";
    write_file(file, garbage);
    EXPECT_TRUE(domain.copy_value("k").is_null());
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(read_file(file), garbage) << "reading never touches the file";

    ASSERT_TRUE(domain.set_value("k", Value::integer(7)));
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(read_file(file.string() + ".corrupt"), garbage);
    EXPECT_EQ(on_disk(file), Value::dictionary({{"k", Value::integer(7)}}));
}

TEST_F(PrefsDomain, ChangesThatCouldNotBeWrittenWaitForTheNextSynchronize) {
    // A file where the Preferences folder should be makes every write fail.
    write_file(env.config_home() / "Preferences", "in the way");
    ASSERT_TRUE(domain.set_value("k", Value::string("kept")));
    EXPECT_FALSE(domain.synchronize());
    EXPECT_EQ(domain.copy_value("k"), Value::string("kept")) << "still the process's view";

    std::filesystem::remove(env.config_home() / "Preferences");
    ASSERT_TRUE(domain.synchronize());
    EXPECT_EQ(on_disk(file), Value::dictionary({{"k", Value::string("kept")}}));
}

}  // namespace
