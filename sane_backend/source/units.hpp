#pragma once
// ICAP_UNITS: lengths in the application's unit, converted from and to millimetres. Pixels
// count at the current resolution of their direction.

#include "sane_backend/protocol/twain_codes.hpp"

namespace sane_backend {

// Millimetres in one unit, at dpi dots per inch for pixels.
double millimetres_per(twain::TW_UINT16 unit, double dpi);

}  // namespace sane_backend
