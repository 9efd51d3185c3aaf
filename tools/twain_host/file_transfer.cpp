#include <cstring>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/transfers.hpp"

namespace twain_host {

namespace {

using namespace twain;

TransferOutcome failed(const std::string& why) {
    return {TWRC_FAILURE, StepFailure{why, TWRC_FAILURE, std::nullopt}, std::nullopt};
}

}  // namespace

TransferOutcome file_transfer(ApplicationLink& link, std::uint16_t format,
                              const std::filesystem::path& file) {
    // The source may run with another working folder in mind: it is given the whole path.
    std::error_code ignored;
    const std::string name = std::filesystem::absolute(file, ignored).string();
    TW_SETUPFILEXFER setup{};
    if (name.size() >= sizeof setup.FileName) {
        return failed("DG_CONTROL/DAT_SETUPFILEXFER/MSG_SET: " + name +
                      " is longer than a file transfer's " +
                      std::to_string(sizeof setup.FileName - 1) + " characters");
    }
    std::memcpy(setup.FileName, name.c_str(), name.size() + 1);
    setup.Format = format;
    TW_UINT16 code = link.to_source(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    if (code != TWRC_SUCCESS)
        return {code, link.source_failure("DG_CONTROL/DAT_SETUPFILEXFER/MSG_SET", code),
                std::nullopt};

    code = link.to_source(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    if (code == TWRC_CANCEL) return {code, std::nullopt, std::nullopt, true};
    if (code != TWRC_XFERDONE)
        return {code, link.source_failure("DG_IMAGE/DAT_IMAGEFILEXFER/MSG_GET", code),
                std::nullopt};
    if (!std::filesystem::is_regular_file(name, ignored)) {
        auto outcome =
            failed("DG_IMAGE/DAT_IMAGEFILEXFER/MSG_GET: done, but there is no file " + name);
        outcome.transferring = true;
        return outcome;
    }
    return {code, std::nullopt, std::nullopt, true};
}

}  // namespace twain_host
