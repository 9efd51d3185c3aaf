// Allowed values and the nearest allowed value, for ranges with and without a step and lists.

#include <gtest/gtest.h>

#include "sane_backend/settings/numeric_constraint.hpp"

namespace {

using sane_backend::NumericConstraint;

TEST(NumericConstraint, RangesWithAStepAllowTheGridAndRoundToItsNearestPoint) {
    const auto range = NumericConstraint::range(1, 10, 4);  // 1, 5, 9
    EXPECT_TRUE(range.allows(5));
    EXPECT_FALSE(range.allows(6));
    EXPECT_FALSE(range.allows(10)) << "the top is not on the grid";
    EXPECT_EQ(range.nearest(6.9), 5);
    EXPECT_EQ(range.nearest(7.1), 9);
    EXPECT_EQ(range.nearest(3), 1) << "a tie goes to the lower point";
    EXPECT_EQ(range.nearest(10), 9);
    EXPECT_EQ(range.nearest(-40), 1);
    EXPECT_EQ(range.nearest(400), 9);
    EXPECT_TRUE(range.spans(10));
    EXPECT_FALSE(range.spans(10.5));
}

TEST(NumericConstraint, RangesWithoutAStepTakeAnythingBetweenTheirEnds) {
    const auto range = NumericConstraint::range(200, 0.5, 0);
    EXPECT_EQ(range.lowest(), 0.5);
    EXPECT_TRUE(range.allows(199.99));
    EXPECT_EQ(range.nearest(0.00076), 0.5);
    // The fixed-point precision both sides use: 1/65536.
    EXPECT_TRUE(NumericConstraint::range(1, 1200, 1).allows(300 + 1.0 / 200000));
    EXPECT_FALSE(NumericConstraint::range(1, 1200, 1).allows(300 + 1.0 / 60000));
}

TEST(NumericConstraint, ListsAreSortedAndAnswerTheirNearestMember) {
    const auto list = NumericConstraint::list({600, 75, 150, 300, 150});
    EXPECT_EQ(list.values(), (std::vector<double>{75, 150, 300, 600}));
    EXPECT_EQ(list.nearest(100), 75);
    EXPECT_EQ(list.nearest(113), 150);
    EXPECT_EQ(list.nearest(112.5), 75);
    EXPECT_EQ(list.nearest(5000), 600);
    EXPECT_FALSE(list.allows(200));
    EXPECT_TRUE(list.spans(200));
    EXPECT_FALSE(list.spans(50));
    const auto none = NumericConstraint::list({});
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(none.nearest(1));
    EXPECT_FALSE(none.spans(1));
}

}  // namespace
