// The reader's element search and its behaviour without a device. Reading real devices is in
// button_reports_test.cpp.

#include "monitor/usb/hid_button_device.hpp"

#include <gtest/gtest.h>

#include <array>

#include "monitor/usb/all_in_one_ids.hpp"

namespace {

using monitor::HidButtonDevice;
using platform::plist::Value;
using Cookies = std::array<std::uint32_t, 3>;

Value element(std::int64_t cookie, std::int64_t usage, Value children = Value()) {
    Value dict = Value::dictionary({{"ElementCookie", Value::integer(cookie)},
                                    {"Usage", Value::integer(usage)},
                                    {"UsagePage", Value::integer(0xFF00)},
                                    {"Size", Value::integer(8)}});
    if (children) dict.set("Elements", children);
    return dict;
}

HidButtonDevice PanelReader() {
    return HidButtonDevice(monitor::kAllInOneVendorId, monitor::kAllInOneProductId,
                           monitor::kButtonCodeUsage, monitor::kButtonParameterUsage, 0);
}

TEST(HidButtonDeviceElements, TakesTheCookiesOfTheConfiguredUsagesWhateverTheirPage) {
    HidButtonDevice reader = PanelReader();
    Value other_page = element(3, 167);
    other_page.set("UsagePage", Value::integer(0x0C));
    reader.FindElements(Value::array(
        {element(1, 1, Value::array({element(2, 166), other_page, element(4, 168)}))}));
    EXPECT_EQ(reader.cookies(), (Cookies{2, 3, 0}));
}

TEST(HidButtonDeviceElements, WalksDepthFirstAndTheLastElementVisitedWins) {
    HidButtonDevice reader = PanelReader();
    // The parent (cookie 5) is visited before its child (6), and the child before cookie 7.
    reader.FindElements(Value::array(
        {element(5, 166, Value::array({element(6, 166)})), element(7, 167), element(8, 166)}));
    EXPECT_EQ(reader.cookies(), (Cookies{8, 7, 0}));

    // A dictionary as "Elements" is walked as one element.
    HidButtonDevice single = PanelReader();
    single.FindElements(element(1, 2, element(9, 167)));
    EXPECT_EQ(single.cookies(), (Cookies{0, 9, 0}));
}

TEST(HidButtonDeviceElements, OnlyElementsWithSizeAndNumericCookieAndUsageCount) {
    HidButtonDevice reader = PanelReader();
    Value no_size = element(1, 166, Value::array({element(2, 167)}));
    no_size.remove("Size");
    Value text_usage = element(3, 166);
    text_usage.set("Usage", Value::string("166"));
    Value boolean_cookie = element(4, 167);
    boolean_cookie.set("ElementCookie", Value::boolean(true));
    Value no_cookie = element(5, 166);
    no_cookie.remove("ElementCookie");
    reader.FindElements(Value::array({no_size, text_usage, boolean_cookie, no_cookie,
                                      Value::string("not an element"), Value::integer(166)}));
    EXPECT_EQ(reader.cookies(), (Cookies{0, 2, 0})) << "only the child of the sizeless one";
}

TEST(HidButtonDeviceElements, OneElementFillsEverySlotWithItsUsageAndUnsetSlotsNone) {
    HidButtonDevice reader(monitor::kAllInOneVendorId, monitor::kAllInOneProductId, 166, 0, 166);
    reader.FindElements(Value::array({element(4, 166), element(5, 0)}));
    EXPECT_EQ(reader.cookies(), (Cookies{4, 0, 4})) << "usage 0 is no usage";
}

TEST(HidButtonDeviceWithoutDevice, ClosesAndReadsNothing) {
    HidButtonDevice reader = PanelReader();
    EXPECT_EQ(reader.values(), (std::array<std::int32_t, 3>{-1, -1, -1}));
    reader.Close();
    reader.Close();
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.ReadEvents(), -1);
    EXPECT_EQ(reader.values(), (std::array<std::int32_t, 3>{0, 0, -1})) << "slots reset first";

    HidButtonDevice all_three(monitor::kAllInOneVendorId, monitor::kAllInOneProductId, 1, 2, 3);
    EXPECT_EQ(all_three.ReadEvents(), -1);
    EXPECT_EQ(all_three.values(), (std::array<std::int32_t, 3>{0, 0, 0}));
}

TEST(HidButtonDeviceWithoutDevice, IdentifiersNoUsbDeviceCanHaveOpenNothing) {
    HidButtonDevice reader(-1, 0x10000, 166, 167, 0);
    EXPECT_EQ(reader.Open(), -1);
    EXPECT_FALSE(reader.IsOpen());
}

}  // namespace
