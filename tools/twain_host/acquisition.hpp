#pragma once
// `twain-host --acquire`: the host plays the Linux Source Manager (source_manager.hpp) and an
// application (application_link.hpp) for a whole acquisition:
//
//   MSG_OPENDSM (the Source Manager lists the data sources), DAT_ENTRYPOINT/MSG_GET, the first
//   listed source opened with MSG_OPENDS, a callback registered (unless polling), CAP_XFERCOUNT,
//   ICAP_XFERMECH, ICAP_IMAGEFILEFORMAT, ICAP_PIXELTYPE, ICAP_BITDEPTH, ICAP_UNITS,
//   ICAP_XRESOLUTION and ICAP_YRESOLUTION set as asked, the image layout's frame set, MSG_ENABLEDS
//   with ShowUI FALSE; on MSG_XFERREADY, for each image: DAT_IMAGEINFO, the transfer, and
//   DAT_PENDINGXFERS/MSG_ENDXFER; MSG_RESET when the source has more than was asked; then
//   MSG_DISABLEDS, MSG_CLOSEDS, MSG_CLOSEDSM, and the Source Manager's memory account.
//
// One line per image goes to out: "FILE: WIDTHxHEIGHT PIXELTYPE BITS-bit XRESxYRES dpi MECHANISM",
// BITS being the bits per pixel.
// A failure goes to errors with its TWAIN step, return code and condition code; the source is
// then wound down from the state it is in.

#include <ostream>

#include "tools/twain_host/acquire_settings.hpp"
#include "tools/twain_host/trace.hpp"

namespace twain_host {

// 0 when every image asked for arrived (with --count -1: at least one), 1 otherwise.
int acquire(const AcquireSettings& settings, std::ostream& out, std::ostream& errors, Trace& trace);

}  // namespace twain_host
