#include "sane_backend/source/sane_conditions.hpp"

namespace sane_backend {

using namespace twain;

Reply open_failure(SANE_Status status) {
    switch (status) {
        case SANE_STATUS_DEVICE_BUSY: return failure(TWCC_MAXCONNECTIONS);
        case SANE_STATUS_ACCESS_DENIED: return failure(TWCC_DENIED);
        case SANE_STATUS_NO_MEM: return failure(TWCC_LOWMEMORY);
        default: return failure(TWCC_CHECKDEVICEONLINE);
    }
}

Reply scan_failure(SANE_Status status) {
    switch (status) {
        case SANE_STATUS_CANCELLED: return {TWRC_CANCEL, TWCC_SUCCESS};
        case SANE_STATUS_JAMMED: return failure(TWCC_PAPERJAM);
        case SANE_STATUS_NO_DOCS: return failure(TWCC_NOMEDIA);
        case SANE_STATUS_COVER_OPEN: return failure(TWCC_INTERLOCK);
        case SANE_STATUS_DEVICE_BUSY: return failure(TWCC_DENIED);
        case SANE_STATUS_ACCESS_DENIED: return failure(TWCC_DENIED);
        case SANE_STATUS_NO_MEM: return failure(TWCC_LOWMEMORY);
        case SANE_STATUS_IO_ERROR: return failure(TWCC_OPERATIONERROR);
        case SANE_STATUS_EOF: return failure(TWCC_OPERATIONERROR);
        default: return failure(TWCC_BUMMER);
    }
}

}  // namespace sane_backend
