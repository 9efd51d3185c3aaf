#pragma once
// SANE's statuses as TWAIN return and condition codes: when a device cannot be opened, and when
// a scan fails to start or to deliver an image.

#include <sane/sane.h>

#include "sane_backend/source/reply.hpp"

namespace sane_backend {

// sane_open failed.
Reply open_failure(SANE_Status status);
// sane_start or sane_read failed (SANE_STATUS_CANCELLED is TWRC_CANCEL; SANE_STATUS_EOF before
// any data is an image that never came).
Reply scan_failure(SANE_Status status);

}  // namespace sane_backend
