#include "tools/twain_host/triplet_names.hpp"

#include <gtest/gtest.h>

namespace {

using twain_host::parse_triplet;

TEST(TripletNames, NamesAndNumbersInAnyFormReadAsTheSameTriplet) {
    for (const auto* text : {"control/identity/get", "DG_CONTROL/DAT_IDENTITY/MSG_GET",
                             "Control/dat_identity/GET", "1/3/1", "0x1/0x03/1"}) {
        const auto triplet = parse_triplet(text);
        ASSERT_TRUE(triplet) << text;
        EXPECT_EQ(triplet->data_group, 1u) << text;
        EXPECT_EQ(triplet->data_argument_type, 3) << text;
        EXPECT_EQ(triplet->message, 1) << text;
    }
    const auto wide = parse_triplet("0x80000001/65535/0xffff");
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->data_group, 0x80000001u);
    EXPECT_EQ(wide->data_argument_type, 0xFFFF);
    EXPECT_EQ(wide->message, 0xFFFF);
}

TEST(TripletNames, MalformedTripletsAreRefused) {
    for (const auto* text : {"", "control/identity", "control/identity/get/more", "control//get",
                             "control/identity/fetch", "control/65536/get", "control/identity/0x",
                             "4294967296/identity/get", "control/-1/get", "control/ 3/get"}) {
        EXPECT_FALSE(parse_triplet(text)) << text;
    }
}

TEST(TripletNames, ValuesPrintByNameOrNumber) {
    EXPECT_EQ(twain_host::triplet_name({1, 3, 0x0401}), "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS");
    EXPECT_EQ(twain_host::triplet_name({8, 0x8001, 0x9999}), "0x8/0x8001/0x9999");
    EXPECT_EQ(twain_host::return_code_name(1), "TWRC_FAILURE (1)");
    EXPECT_EQ(twain_host::return_code_name(0xABCD), "0xabcd (43981)");
    EXPECT_EQ(twain_host::condition_code_name(9), "TWCC_BADPROTOCOL (9)");
    EXPECT_EQ(twain_host::data_group_bits(0x40000003), "DG_CONTROL DG_IMAGE");
}

}  // namespace
