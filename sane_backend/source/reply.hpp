#pragma once
// What a triplet answers: a return code, and the condition code DAT_STATUS reports after it.

#include "sane_backend/protocol/twain_codes.hpp"

namespace sane_backend {

struct Reply {
    twain::TW_UINT16 rc = twain::TWRC_SUCCESS;
    twain::TW_UINT16 cc = twain::TWCC_SUCCESS;
};

inline Reply success() { return {}; }
inline Reply failure(twain::TW_UINT16 condition) { return {twain::TWRC_FAILURE, condition}; }
inline Reply check_status() { return {twain::TWRC_CHECKSTATUS, twain::TWCC_SUCCESS}; }

}  // namespace sane_backend
