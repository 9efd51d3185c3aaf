#include "sane_backend/source/units.hpp"

namespace sane_backend {

using namespace twain;

double millimetres_per(TW_UINT16 unit, double dpi) {
    switch (unit) {
        case TWUN_INCHES: return 25.4;
        case TWUN_CENTIMETERS: return 10.0;
        case TWUN_PICAS: return 25.4 / 6.0;
        case TWUN_POINTS: return 25.4 / 72.0;
        case TWUN_TWIPS: return 25.4 / 1440.0;
        case TWUN_PIXELS: return dpi > 0 ? 25.4 / dpi : 25.4;
        case TWUN_MILLIMETERS: return 1.0;
        default: return 25.4;
    }
}

}  // namespace sane_backend
