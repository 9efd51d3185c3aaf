#pragma once
// What the panel buttons do. The reader's queue callout runs DispatchButtonEvents, which drains
// the queue into the reader's value slots, records in the scanner status preferences that a
// scan is under way and that it is not a network scan, and acts on the 12-bit button code made
// from the first two slots:
//
//   code  slot 1  slot 2      action
//   2     0x00    0x20-0x2F   "/Users/benchuser/scanprobe -l /var/tmp/scan.log -sp_exec 1 usb
//                             -a /var/tmp/scanprobe.log"
//   34    0x02    0x20-0x2F   Close and Open the reader, then OpenImageCapture
//   65    0x04    0x10-0x1F   "killall -USR1 scanprobe"
//   66    0x04    0x20-0x2F   "killall -USR1 scanprobe"
//   256   0x10    0x00-0x0F   "/Users/benchuser/scanprobe -sp_list usb"
//
// Command lines run with system(), as they stand; their results are not looked at. Afterwards
// the network-scan flag is put back when a scan was already in progress.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/bundle/bundle.hpp"

namespace monitor {

class HidButtonDevice;

// The code from two slot bytes: slot 1's byte shifted left by 4, or-ed with the upper half of
// slot 2's byte.
std::uint32_t ButtonCode(std::int32_t slot1, std::int32_t slot2);

void DispatchButtonEvents(HidButtonDevice& reader);

// Runs "open /Applications/Image\ Capture.app" through the system framework's "system": its
// result, or the error of LoadFrameworkBundle. Nothing is run when the framework has no
// "system".
std::int32_t OpenImageCapture();

// Loads the named bundle of the Frameworks folder into *bundle: 0; -1 when bundle is null; the
// folder lookup's error; or -4960 when no bundle is there or its code does not load (*bundle is
// then empty).
std::int32_t LoadFrameworkBundle(std::string_view name,
                                 std::optional<platform::bundle::Bundle>* bundle);

}  // namespace monitor
