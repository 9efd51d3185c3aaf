#pragma once
// Report descriptors of real kinds of devices, for the HID tests. Each comment gives the
// element cookies that the descriptor's order yields.

#include <cstdint>
#include <vector>

namespace hid_test {

using Bytes = std::vector<std::uint8_t>;

// The boot keyboard of HID 1.11 (appendix B.1): modifier bits, a reserved byte, five LED
// output bits with 3 bits of padding, and a six-key array. No report IDs; input report 8
// bytes, output report 1 byte.
//   1 application collection; 2-9 modifiers (E0-E7); 10-14 LEDs; 15-20 key slots
inline const Bytes kBootKeyboard = {
    0x05, 0x01,  // Usage Page (Generic Desktop)
    0x09, 0x06,  // Usage (Keyboard)
    0xA1, 0x01,  // Collection (Application)
    0x05, 0x07,  //   Usage Page (Keyboard/Keypad)
    0x19, 0xE0,  //   Usage Minimum (Left Control)
    0x29, 0xE7,  //   Usage Maximum (Right GUI)
    0x15, 0x00,  //   Logical Minimum (0)
    0x25, 0x01,  //   Logical Maximum (1)
    0x75, 0x01,  //   Report Size (1)
    0x95, 0x08,  //   Report Count (8)
    0x81, 0x02,  //   Input (Data, Variable, Absolute): modifiers
    0x95, 0x01,  //   Report Count (1)
    0x75, 0x08,  //   Report Size (8)
    0x81, 0x01,  //   Input (Constant): reserved byte
    0x95, 0x05,  //   Report Count (5)
    0x75, 0x01,  //   Report Size (1)
    0x05, 0x08,  //   Usage Page (LEDs)
    0x19, 0x01,  //   Usage Minimum (Num Lock)
    0x29, 0x05,  //   Usage Maximum (Kana)
    0x91, 0x02,  //   Output (Data, Variable, Absolute): LEDs
    0x95, 0x01,  //   Report Count (1)
    0x75, 0x03,  //   Report Size (3)
    0x91, 0x01,  //   Output (Constant): padding
    0x95, 0x06,  //   Report Count (6)
    0x75, 0x08,  //   Report Size (8)
    0x15, 0x00,  //   Logical Minimum (0)
    0x25, 0x65,  //   Logical Maximum (101)
    0x05, 0x07,  //   Usage Page (Keyboard/Keypad)
    0x19, 0x00,  //   Usage Minimum (0)
    0x29, 0x65,  //   Usage Maximum (101)
    0x81, 0x00,  //   Input (Data, Array): keys
    0xC0,        // End Collection
};

// An all-in-one's front panel on a vendor page: the button code (usage 166) and its parameter
// (usage 167) as two 8-bit inputs, and an 8-byte output report for the panel display.
//   1 application collection; 2 usage 166; 3 usage 167; 4-11 display bytes
inline const Bytes kVendorPanel = {
    0x06, 0x00, 0xFF,  // Usage Page (Vendor 0xFF00)
    0x09, 0x01,        // Usage (1)
    0xA1, 0x01,        // Collection (Application)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0xFF, 0x00,  //   Logical Maximum (255)
    0x75, 0x08,        //   Report Size (8)
    0x95, 0x01,        //   Report Count (1)
    0x09, 0xA6,        //   Usage (166)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x09, 0xA7,        //   Usage (167)
    0x81, 0x02,        //   Input (Data, Variable, Absolute)
    0x95, 0x08,        //   Report Count (8)
    0x09, 0xA8,        //   Usage (168)
    0x91, 0x02,        //   Output (Data, Variable, Absolute)
    0xC0,              // End Collection
};

// A mouse with a consumer-control key set behind it (a wireless receiver): report 1 is the
// mouse (3 buttons, 5 bits of padding, relative X, Y and wheel from -127 to 127), report 2 a
// 16-bit consumer usage array. Input reports: ID 1 five bytes, ID 2 three bytes.
//   1 mouse collection; 2 pointer collection; 3-5 buttons; 6 X; 7 Y; 8 wheel;
//   9 consumer collection; 10 consumer key slot
inline const Bytes kMouseAndConsumer = {
    0x05, 0x01,        // Usage Page (Generic Desktop)
    0x09, 0x02,        // Usage (Mouse)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x01,        //   Report ID (1)
    0x09, 0x01,        //   Usage (Pointer)
    0xA1, 0x00,        //   Collection (Physical)
    0x05, 0x09,        //     Usage Page (Button)
    0x19, 0x01,        //     Usage Minimum (1)
    0x29, 0x03,        //     Usage Maximum (3)
    0x15, 0x00,        //     Logical Minimum (0)
    0x25, 0x01,        //     Logical Maximum (1)
    0x95, 0x03,        //     Report Count (3)
    0x75, 0x01,        //     Report Size (1)
    0x81, 0x02,        //     Input (Data, Variable, Absolute)
    0x95, 0x01,        //     Report Count (1)
    0x75, 0x05,        //     Report Size (5)
    0x81, 0x03,        //     Input (Constant, Variable): padding
    0x05, 0x01,        //     Usage Page (Generic Desktop)
    0x09, 0x30,        //     Usage (X)
    0x09, 0x31,        //     Usage (Y)
    0x09, 0x38,        //     Usage (Wheel)
    0x15, 0x81,        //     Logical Minimum (-127)
    0x25, 0x7F,        //     Logical Maximum (127)
    0x75, 0x08,        //     Report Size (8)
    0x95, 0x03,        //     Report Count (3)
    0x81, 0x06,        //     Input (Data, Variable, Relative)
    0xC0,              //   End Collection
    0xC0,              // End Collection
    0x05, 0x0C,        // Usage Page (Consumer)
    0x09, 0x01,        // Usage (Consumer Control)
    0xA1, 0x01,        // Collection (Application)
    0x85, 0x02,        //   Report ID (2)
    0x15, 0x00,        //   Logical Minimum (0)
    0x26, 0x9C, 0x02,  //   Logical Maximum (0x29C)
    0x19, 0x00,        //   Usage Minimum (0)
    0x2A, 0x9C, 0x02,  //   Usage Maximum (0x29C)
    0x75, 0x10,        //   Report Size (16)
    0x95, 0x01,        //   Report Count (1)
    0x81, 0x00,        //   Input (Data, Array)
    0xC0,              // End Collection
};

// A gamepad that saves its button globals around signed sticks with Push and Pop, declares a
// consumer key by an extended (4-byte) usage while the Button page is current, and has a signed
// 16-bit axis. One 6-byte input report.
//   1 collection; 2 X; 3 Y (-127..127); 4-7 buttons 1-4; 8 AC Home (page 0x0C); 9 Z (16-bit)
inline const Bytes kGamepadPushPop = {
    0x05, 0x01,                    // Usage Page (Generic Desktop)
    0x09, 0x05,                    // Usage (Game Pad)
    0xA1, 0x01,                    // Collection (Application)
    0x15, 0x00,                    //   Logical Minimum (0)
    0x25, 0x01,                    //   Logical Maximum (1)
    0x75, 0x01,                    //   Report Size (1)
    0x95, 0x04,                    //   Report Count (4)
    0xA4,                          //   Push
    0x15, 0x81,                    //     Logical Minimum (-127)
    0x25, 0x7F,                    //     Logical Maximum (127)
    0x75, 0x08,                    //     Report Size (8)
    0x95, 0x02,                    //     Report Count (2)
    0x09, 0x30,                    //     Usage (X)
    0x09, 0x31,                    //     Usage (Y)
    0x81, 0x02,                    //     Input (Data, Variable, Absolute)
    0xB4,                          //   Pop: back to 1 bit x 4, 0..1
    0x05, 0x09,                    //   Usage Page (Button)
    0x19, 0x01,                    //   Usage Minimum (1)
    0x29, 0x04,                    //   Usage Maximum (4)
    0x81, 0x02,                    //   Input (Data, Variable, Absolute)
    0x95, 0x01,                    //   Report Count (1)
    0x75, 0x04,                    //   Report Size (4)
    0x81, 0x03,                    //   Input (Constant): padding
    0x0B, 0x23, 0x02, 0x0C, 0x00,  //   Usage (Consumer: AC Home), extended
    0x75, 0x01,                    //   Report Size (1)
    0x81, 0x02,                    //   Input (Data, Variable, Absolute)
    0x75, 0x07,                    //   Report Size (7)
    0x81, 0x03,                    //   Input (Constant): padding
    0x05, 0x01,                    //   Usage Page (Generic Desktop)
    0x09, 0x32,                    //   Usage (Z)
    0x16, 0x00, 0x80,              //   Logical Minimum (-32768)
    0x26, 0xFF, 0x7F,              //   Logical Maximum (32767)
    0x75, 0x10,                    //   Report Size (16)
    0x81, 0x02,                    //   Input (Data, Variable, Absolute)
    0xC0,                          // End Collection
};

}  // namespace hid_test
