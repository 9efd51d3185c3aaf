#include "platform/plist/value.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/plist/describe.hpp"

namespace {

using platform::plist::Date;
using platform::plist::IntegerKind;
using platform::plist::Type;
using platform::plist::Value;

TEST(PlistValue, IntegersAreNarrowedToTheirKindAndRememberIt) {
    const Value octet = Value::integer(200, IntegerKind::SInt8);
    EXPECT_EQ(octet.as_integer(), -56);
    EXPECT_EQ(octet.integer_kind(), IntegerKind::SInt8);
    EXPECT_EQ(Value::integer(70000, IntegerKind::SInt16).as_integer(), 4464);
    EXPECT_EQ(Value::integer(0x1'0000'0005, IntegerKind::SInt32).as_integer(), 5);
    EXPECT_EQ(Value::integer(-1).integer_kind(), IntegerKind::SInt64);
}

TEST(PlistValue, NumberConversionsFollowNumberObjects) {
    EXPECT_EQ(Value::real(-2.9).to_int64(), -2);
    EXPECT_EQ(Value::real(1e300).to_int64(), INT64_MAX);
    EXPECT_EQ(Value::boolean(true).to_int32(), 1);
    EXPECT_EQ(Value::integer(0x1'0000'0007).to_int32(), 7);
    EXPECT_EQ(Value::integer(3).to_double(), 3.0);
    EXPECT_EQ(Value::real(0.5).to_bool(), true);
    EXPECT_EQ(Value::integer(0).to_bool(), false);
    EXPECT_FALSE(Value::string("12").to_int64());
    EXPECT_FALSE(Value().to_bool());
    // Exact-type access does not convert.
    EXPECT_FALSE(Value::integer(1).as_boolean());
    EXPECT_FALSE(Value::boolean(true).as_integer());
}

TEST(PlistValue, EqualityIsDeepAndNumbersCompareByValue) {
    EXPECT_EQ(Value::integer(5, IntegerKind::SInt8), Value::integer(5));
    EXPECT_EQ(Value::integer(2), Value::real(2.0));
    EXPECT_NE(Value::integer(2), Value::real(2.5));
    EXPECT_NE(Value::integer(1), Value::boolean(true));
    EXPECT_NE(Value::string("a"), Value::data({'a'}));
    EXPECT_EQ(Value(), Value());
    EXPECT_NE(Value(), Value::string(""));

    const Value a =
        Value::dictionary({{"x", Value::integer(1)}, {"y", Value::array({Value::string("s")})}});
    const Value b =
        Value::dictionary({{"y", Value::array({Value::string("s")})}, {"x", Value::integer(1)}});
    EXPECT_EQ(a, b) << "key order does not matter to equality";
    b.get("y").append(Value::string("t"));
    EXPECT_NE(a, b);
}

TEST(PlistValue, IdentitySurvivesStorageInContainers) {
    Value list = Value::array();
    Value entry = Value::dictionary({{"ApplicationName", Value::string("Mail")}});
    Value twin = entry.deep_copy();
    list.append(twin);
    list.append(entry);
    ASSERT_EQ(list.size(), 2U);
    EXPECT_EQ(list.at(0), entry) << "equal contents";
    EXPECT_FALSE(list.at(0).same_object(entry)) << "but another object";
    EXPECT_TRUE(list.at(1).same_object(entry));

    // Sorting moves handles, not objects.
    twin.set("ApplicationName", Value::string("Preview"));
    list.sort([](const Value& x, const Value& y) {
        return *x.get("ApplicationName").as_string() < *y.get("ApplicationName").as_string();
    });
    EXPECT_TRUE(list.at(0).same_object(entry));
    EXPECT_TRUE(list.at(1).same_object(twin));

    // A change through one handle is seen through every other.
    Value holder = Value::dictionary({{"list", list}});
    holder.get("list").at(0).set("OpName", Value::string("Mail.app"));
    EXPECT_EQ(entry.get("OpName"), Value::string("Mail.app"));
}

TEST(PlistValue, DeepCopyIsIndependent) {
    Value inner = Value::array({Value::integer(1)});
    Value outer = Value::dictionary({{"inner", inner}});
    Value copy = outer.deep_copy();
    EXPECT_EQ(copy, outer);
    EXPECT_FALSE(copy.get("inner").same_object(inner));
    inner.append(Value::integer(2));
    EXPECT_EQ(copy.get("inner").size(), 1U);
}

TEST(PlistValue, DictionariesKeepInsertionOrderAndNullRemoves) {
    Value d = Value::dictionary();
    d.set("b", Value::integer(1));
    d.set("a", Value::integer(2));
    d.set("b", Value::integer(3));
    ASSERT_EQ(d.size(), 2U);
    EXPECT_EQ(d.entries()[0].first, "b");
    EXPECT_EQ(d.entries()[0].second.as_integer(), 3);
    d.set("b", Value());
    EXPECT_FALSE(d.contains("b"));
    EXPECT_EQ(d.size(), 1U);
    EXPECT_TRUE(d.get("missing").is_null());
}

TEST(PlistValue, ADictionaryMadeFromEntriesIsTheirSetsInTurn) {
    const std::vector<platform::plist::Entry> entries = {
        {"b", Value::integer(1)}, {"a", Value::integer(2)}, {"b", Value::integer(3)},
        {"c", Value()},           {"a", Value()},           {"a", Value::integer(4)}};
    Value by_hand = Value::dictionary();
    for (const auto& [key, value] : entries) by_hand.set(key, value);
    const Value made = Value::dictionary(entries);
    ASSERT_EQ(made.size(), 2U);
    for (std::size_t i = 0; i < made.size(); ++i) {
        EXPECT_EQ(made.entries()[i].first, by_hand.entries()[i].first);
        EXPECT_EQ(made.entries()[i].second, by_hand.entries()[i].second);
    }

    std::vector<platform::plist::Entry> many;
    for (int i = 0; i < 50000; ++i)
        many.emplace_back("key " + std::to_string(i), Value::integer(i));
    many.emplace_back("key 3", Value::integer(-3));  // as a binary document may hold it
    const Value large = Value::dictionary(many);
    ASSERT_EQ(large.size(), many.size() - 1);
    EXPECT_EQ(large.entries()[3].second, Value::integer(-3));
    EXPECT_EQ(large.entries().back().first, "key 49999");
    EXPECT_EQ(large.get("key 1234"), Value::integer(1234));
    EXPECT_EQ(large.deep_copy().entries()[7].first, "key 7");
}

TEST(PlistValue, ArraysRefuseNullsAndIgnoreBadIndexes) {
    Value a = Value::array({Value::integer(1), Value(), Value::integer(2)});
    EXPECT_EQ(a.size(), 2U);
    a.append(Value());
    a.insert_at(7, Value::integer(9));
    a.set_at(5, Value::integer(9));
    a.remove_at(5);
    EXPECT_EQ(a.size(), 2U);
    a.insert_at(0, Value::integer(0));
    a.set_at(2, Value::integer(4));
    a.remove_at(1);
    EXPECT_EQ(a, Value::array({Value::integer(0), Value::integer(4)}));
    EXPECT_TRUE(a.at(2).is_null());
    // Container operations on other types do nothing.
    Value s = Value::string("x");
    s.append(Value::integer(1));
    s.set("k", Value::integer(1));
    EXPECT_EQ(s.size(), 0U);
}

TEST(PlistValue, OtherKindsHoldTheirContents) {
    EXPECT_EQ(*Value::data({1, 2}).as_data(), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(Value::date(Date{12.5}).as_date()->seconds_since_2001, 12.5);
    EXPECT_EQ(*Value::file_url("/tmp/../tmp/x").as_file_url(), "/tmp/x");
    EXPECT_TRUE(Value::file_url("relative").as_file_url()->is_absolute());
    EXPECT_NE(Value::file_url("/a"), Value::string("/a"));
    EXPECT_TRUE(Value::file_url("/a").is(Type::FileUrl));
}

}  // namespace
