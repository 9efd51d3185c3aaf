#pragma once
// The backend data source over SANE: the TWAIN data source protocol of states 3 to 7 on top of a
// SANE device. twain-source creates one of these (the bundle's principal class) and hands it
// every triplet.
//
//   3  loaded, not open: only DAT_IDENTITY/MSG_GET, DAT_ENTRYPOINT/MSG_SET, MSG_OPENDS (and
//      DAT_STATUS right after a failed MSG_OPENDS) are taken; SANE is not started
//   4  open: sane_init, the device chosen and opened; capabilities are negotiated
//   5  enabled
//   6  an image is ready: its scan has started; MSG_XFERREADY went to the application
//   7  transferring
//
// A triplet that its state forbids fails with TWCC_SEQERROR and changes nothing.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/plist/value.hpp"
#include "sane_backend/image/page_reader.hpp"
#include "sane_backend/protocol/twain_codes.hpp"
#include "sane_backend/sane/sane_device.hpp"
#include "sane_backend/sane/sane_session.hpp"
#include "sane_backend/source/capabilities.hpp"
#include "sane_backend/source/dsm_link.hpp"
#include "sane_backend/source/reply.hpp"
#include "twain/backend/data_source_backend.hpp"

namespace sane_backend {

class DataSource final : public twain::DataSourceBackend {
public:
    DataSource() = default;
    ~DataSource() override;

    bool initWithIdentity(twain::TW_IDENTITY identity, const platform::plist::Value& dictionary) noexcept override;
    twain::TW_UINT32 sendTripletWithSource(twain::pTW_IDENTITY origin, twain::TW_UINT32 dataGroup,
                                           twain::TW_UINT32 data, twain::TW_UINT32 message,
                                           twain::TW_MEMREF dataPtr) noexcept override;

    int state() const { return state_; }

private:
    Reply dispatch(twain::pTW_IDENTITY origin, twain::TW_UINT32 group, twain::TW_UINT16 data, twain::TW_UINT16 message,
                   twain::TW_MEMREF pointer);

    // DG_CONTROL
    Reply identity(twain::pTW_IDENTITY origin, twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply entry_point(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply status(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply capability(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply user_interface(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply event(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply pending_transfers(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply setup_memory(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply setup_file(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply transfer_group(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    // DG_IMAGE
    Reply image_info(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply image_layout(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply native_transfer(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply memory_transfer(twain::TW_UINT16 message, twain::TW_MEMREF pointer);
    Reply file_transfer(twain::TW_UINT16 message, twain::TW_MEMREF pointer);

    Reply open(twain::pTW_IDENTITY origin, const twain::TW_IDENTITY& opened);
    void close();
    Reply enable();
    // Starts the next page's scan; its status.
    SANE_Status start_page();
    // Ends the batch: the scan is cancelled and the source is back to state 5.
    void end_batch();
    // The page's scan failed or was cancelled mid-image: the page is dropped and the reply says
    // why; the source goes to state 7 on a cancel (the application ends the transfer), else 6.
    Reply lose_page(SANE_Status status);
    // The shared checks of the three transfers: state, mechanism, a page to transfer.
    std::optional<Reply> refuse_transfer(twain::TW_UINT16 mechanism) const;
    // The line bytes the next image will have, for buffer sizes before its scan has started.
    std::size_t expected_line_bytes() const;

    int state_ = 3;
    twain::TW_IDENTITY identity_{};
    twain::TW_IDENTITY application_{};
    bool has_application_ = false;
    platform::plist::Value dictionary_;
    DsmLink dsm_;
    twain::TW_UINT16 condition_ = twain::TWCC_SUCCESS;
    bool open_failed_ = false;

    std::unique_ptr<SaneSession> session_;
    std::unique_ptr<SaneDevice> device_;
    std::optional<Capabilities> capabilities_;
    std::string file_name_;

    // The batch of images between MSG_ENABLEDS and its end.
    std::unique_ptr<PageReader> page_;
    SANE_Status page_error_ = SANE_STATUS_GOOD;
    int pending_ = 0;  // -1: as many as the feeder has
    twain::TW_UINT32 document_number_ = 0;
    twain::TW_UINT32 page_number_ = 0;
    double page_x_dpi_ = 0;
    double page_y_dpi_ = 0;
    bool ready_unseen_ = false;
    bool transferring_ = false;  // a memory transfer has begun
};

}  // namespace sane_backend
