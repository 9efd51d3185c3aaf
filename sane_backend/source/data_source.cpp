#include "sane_backend/source/data_source.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "sane_backend/sane/backend_preferences.hpp"
#include "sane_backend/sane/device_choice.hpp"
#include "sane_backend/settings/device_setup.hpp"
#include "sane_backend/source/sane_conditions.hpp"
#include "twain/backend/info_dictionary_keys.hpp"

namespace sane_backend {

using namespace twain;

namespace {

constexpr const char* kDefaultFileName = "TWAIN.TMP";

}  // namespace

DataSource::~DataSource() { close(); }

bool DataSource::initWithIdentity(TW_IDENTITY identity, const platform::plist::Value& dictionary) noexcept {
    identity_ = identity;
    // A 2.x source: the Source Manager then hands over its entry points before opening it.
    identity_.SupportedGroups |= DF_DS2;
    dictionary_ = dictionary;
    return true;
}

TW_UINT32 DataSource::sendTripletWithSource(pTW_IDENTITY origin, TW_UINT32 dataGroup, TW_UINT32 data, TW_UINT32 message,
                                            TW_MEMREF dataPtr) noexcept {
    if (data > 0xffff || message > 0xffff) {
        condition_ = TWCC_BADPROTOCOL;
        return TWRC_FAILURE;
    }
    const auto dat = static_cast<TW_UINT16>(data);
    const auto msg = static_cast<TW_UINT16>(message);
    Reply reply;
    try {
        reply = dispatch(origin, dataGroup, dat, msg, dataPtr);
    } catch (const std::bad_alloc&) {
        reply = failure(TWCC_LOWMEMORY);
    } catch (...) {
        reply = failure(TWCC_BUMMER);
    }
    const bool status_read = dataGroup == DG_CONTROL && dat == DAT_STATUS;
    if (!status_read) {
        condition_ = reply.rc == TWRC_FAILURE ? reply.cc : TWCC_SUCCESS;
        open_failed_ = dataGroup == DG_CONTROL && dat == DAT_IDENTITY && msg == MSG_OPENDS && reply.rc == TWRC_FAILURE;
    }
    return reply.rc;
}

Reply DataSource::dispatch(pTW_IDENTITY origin, TW_UINT32 group, TW_UINT16 data, TW_UINT16 message, TW_MEMREF pointer) {
    if (group == DG_CONTROL) {
        switch (data) {
            case DAT_IDENTITY: return identity(origin, message, pointer);
            case DAT_ENTRYPOINT: return entry_point(message, pointer);
            case DAT_STATUS: return status(message, pointer);
            case DAT_CAPABILITY: return capability(message, pointer);
            case DAT_USERINTERFACE: return user_interface(message, pointer);
            case DAT_EVENT: return event(message, pointer);
            case DAT_PENDINGXFERS: return pending_transfers(message, pointer);
            case DAT_SETUPMEMXFER: return setup_memory(message, pointer);
            case DAT_SETUPFILEXFER: return setup_file(message, pointer);
            case DAT_XFERGROUP: return transfer_group(message, pointer);
            default: break;
        }
    } else if (group == DG_IMAGE) {
        switch (data) {
            case DAT_IMAGEINFO: return image_info(message, pointer);
            case DAT_IMAGELAYOUT: return image_layout(message, pointer);
            case DAT_IMAGENATIVEXFER: return native_transfer(message, pointer);
            case DAT_IMAGEMEMXFER: return memory_transfer(message, pointer);
            case DAT_IMAGEFILEXFER: return file_transfer(message, pointer);
            default: break;
        }
    }
    return failure(TWCC_BADPROTOCOL);
}

Reply DataSource::identity(pTW_IDENTITY origin, TW_UINT16 message, TW_MEMREF pointer) {
    auto* record = static_cast<pTW_IDENTITY>(pointer);
    switch (message) {
        case MSG_GET:
            // Any state: the Source Manager probes every source this way, and SANE stays idle.
            if (!record) return failure(TWCC_BADVALUE);
            std::memcpy(record, &identity_, sizeof identity_);
            return success();
        case MSG_OPENDS:
            if (state_ != 3) return failure(TWCC_SEQERROR);
            if (!record) return failure(TWCC_BADVALUE);
            return open(origin, *record);
        case MSG_CLOSEDS:
            if (state_ != 4) return failure(TWCC_SEQERROR);
            close();
            return success();
        default: return failure(TWCC_BADPROTOCOL);
    }
}

Reply DataSource::entry_point(TW_UINT16 message, TW_MEMREF pointer) {
    if (message != MSG_SET) return failure(TWCC_BADPROTOCOL);
    // The Source Manager sends its entry points before it opens the source.
    if (state_ != 3) return failure(TWCC_SEQERROR);
    if (!pointer || !dsm_.set(*static_cast<pTW_ENTRYPOINT>(pointer))) return failure(TWCC_BADVALUE);
    return success();
}

Reply DataSource::status(TW_UINT16 message, TW_MEMREF pointer) {
    if (message != MSG_GET) return failure(TWCC_BADPROTOCOL);
    // In state 3 only the condition of a failed MSG_OPENDS is there to be read: the Source
    // Manager asks for it and hands it to the application.
    if (state_ == 3 && !open_failed_) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    auto* record = static_cast<pTW_STATUS>(pointer);
    record->ConditionCode = condition_;
    record->Data = 0;
    condition_ = TWCC_SUCCESS;
    return success();
}

Reply DataSource::open(pTW_IDENTITY origin, const TW_IDENTITY& opened) {
    session_ = SaneSession::start();
    if (!session_) return failure(TWCC_CHECKDEVICEONLINE);
    namespace keys = info_dictionary_keys;
    const UsbIdentity scanner{dictionary_.get(keys::dKeyVID).to_int32().value_or(-1),
                              dictionary_.get(keys::dKeyPID).to_int32().value_or(-1)};
    const auto name = choose_device(preferred_device(preferences_file()), session_->devices(), scanner, "/sys");
    if (name.empty()) {
        session_.reset();
        return failure(TWCC_CHECKDEVICEONLINE);
    }
    SANE_Status status = SANE_STATUS_GOOD;
    device_ = SaneDevice::open(name, status);
    if (!device_) {
        session_.reset();
        return open_failure(status);
    }
    const auto offer = read_offer(*device_, dictionary_);
    const auto defaults = default_settings(offer, *device_, dictionary_);
    capabilities_.emplace(offer, defaults);
    file_name_ = kDefaultFileName;
    identity_.Id = opened.Id;
    has_application_ = origin != nullptr;
    if (origin) application_ = *origin;
    state_ = 4;
    return success();
}

void DataSource::close() {
    page_.reset();
    capabilities_.reset();
    device_.reset();   // sane_cancel, sane_close
    session_.reset();  // sane_exit
    has_application_ = false;
    state_ = 3;
}

Reply DataSource::capability(TW_UINT16 message, TW_MEMREF pointer) {
    if (state_ < 4) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    auto& record = *static_cast<pTW_CAPABILITY>(pointer);
    return capabilities_->negotiate(message, record, dsm_, state_, device_->responds());
}

Reply DataSource::user_interface(TW_UINT16 message, TW_MEMREF pointer) {
    switch (message) {
        case MSG_ENABLEDS:
            if (state_ != 4) return failure(TWCC_SEQERROR);
            if (!pointer) return failure(TWCC_BADVALUE);
            // There is no dialog to show: with ShowUI or without, the scan starts at once.
            return enable();
        case MSG_ENABLEDSUIONLY:
            if (state_ != 4) return failure(TWCC_SEQERROR);
            return failure(TWCC_BADPROTOCOL);
        case MSG_DISABLEDS:
            if (state_ != 5) return failure(TWCC_SEQERROR);
            page_.reset();
            device_->cancel();
            state_ = 4;
            return success();
        default: return failure(TWCC_BADPROTOCOL);
    }
}

Reply DataSource::enable() {
    const auto status = apply_settings(*device_, capabilities_->offer(), capabilities_->scan());
    if (status != SANE_STATUS_GOOD) {
        device_->cancel();
        return status == SANE_STATUS_INVAL ? failure(TWCC_BADVALUE) : scan_failure(status);
    }
    pending_ = capabilities_->transfer().count;
    // A flatbed holds one page.
    if (pending_ < 0 && !capabilities_->scan().feeder_enabled) pending_ = 1;
    document_number_ = page_number_ = 0;
    const auto started = start_page();
    if (started != SANE_STATUS_GOOD) {
        page_.reset();
        device_->cancel();
        return scan_failure(started);
    }
    state_ = 6;
    ready_unseen_ = true;
    if (has_application_) dsm_.send(&identity_, &application_, DG_CONTROL, DAT_NULL, MSG_XFERREADY, nullptr);
    return success();
}

SANE_Status DataSource::start_page() {
    page_.reset();
    page_error_ = SANE_STATUS_GOOD;
    auto status = device_->start();
    if (status != SANE_STATUS_GOOD) return status;
    page_ = PageReader::begin(*device_, capabilities_->vanilla(), status);
    if (!page_) return status;
    const auto& offer = capabilities_->offer();
    const auto& scan = capabilities_->scan();
    page_x_dpi_ = offer.x_resolution_option.empty()
                      ? scan.x_resolution
                      : device_->number(offer.x_resolution_option).value_or(scan.x_resolution);
    page_y_dpi_ = offer.y_resolution_option.empty()
                      ? page_x_dpi_
                      : device_->number(offer.y_resolution_option).value_or(scan.y_resolution);
    ++document_number_;
    ++page_number_;
    return SANE_STATUS_GOOD;
}

void DataSource::end_batch() {
    page_.reset();
    page_error_ = SANE_STATUS_GOOD;
    device_->cancel();
    pending_ = 0;
    transferring_ = false;
    state_ = 5;
}

Reply DataSource::event(TW_UINT16 message, TW_MEMREF pointer) {
    if (message != MSG_PROCESSEVENT) return failure(TWCC_BADPROTOCOL);
    if (state_ < 5) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    auto& record = *static_cast<pTW_EVENT>(pointer);
    // None of the host's events is ours; the one message there may be is that an image is ready.
    if (state_ == 6 && ready_unseen_) {
        ready_unseen_ = false;
        record.TWMessage = MSG_XFERREADY;
        return {TWRC_DSEVENT, TWCC_SUCCESS};
    }
    record.TWMessage = MSG_NULL;
    return {TWRC_NOTDSEVENT, TWCC_SUCCESS};
}

Reply DataSource::pending_transfers(TW_UINT16 message, TW_MEMREF pointer) {
    auto* record = static_cast<pTW_PENDINGXFERS>(pointer);
    switch (message) {
        case MSG_GET:
            if (state_ < 4) return failure(TWCC_SEQERROR);
            break;
        case MSG_ENDXFER: {
            if (state_ != 6 && state_ != 7) return failure(TWCC_SEQERROR);
            if (!record) return failure(TWCC_BADVALUE);
            ready_unseen_ = false;
            transferring_ = false;
            // An image not (or not wholly) transferred is dropped: its scan is cancelled.
            if (page_ && !page_->done()) device_->cancel();
            page_.reset();
            if (pending_ > 0) --pending_;
            if (pending_ == 0) {
                end_batch();
                break;
            }
            state_ = 6;
            const auto status = start_page();
            if (status == SANE_STATUS_NO_DOCS) {
                // The feeder is empty: the batch is over, and that is no failure.
                end_batch();
            } else if (status != SANE_STATUS_GOOD) {
                // The page that would not start is reported by its transfer.
                page_.reset();
                page_error_ = status;
                device_->cancel();
            }
            break;
        }
        case MSG_RESET:
            if (state_ != 6) return failure(TWCC_SEQERROR);
            if (!record) return failure(TWCC_BADVALUE);
            end_batch();
            break;
        case MSG_STOPFEEDER:
            if (state_ != 6) return failure(TWCC_SEQERROR);
            if (!record) return failure(TWCC_BADVALUE);
            // The image at hand is the last one.
            pending_ = 1;
            break;
        default: return failure(TWCC_BADPROTOCOL);
    }
    if (!record) return failure(TWCC_BADVALUE);
    record->Count = state_ >= 6 ? static_cast<TW_UINT16>(pending_) : 0;
    record->EOJ = 0;
    return success();
}

std::size_t DataSource::expected_line_bytes() const {
    if (page_) return page_->shape().line_bytes();
    const auto& scan = capabilities_->scan();
    const double width = scan.frame.width() / 25.4 * scan.x_resolution;
    const auto pixels = static_cast<std::size_t>(std::max(1.0, width));
    return (pixels * static_cast<std::size_t>(scan.bit_depth) + 7) / 8;
}

Reply DataSource::setup_memory(TW_UINT16 message, TW_MEMREF pointer) {
    if (message != MSG_GET) return failure(TWCC_BADPROTOCOL);
    if (state_ < 4 || state_ > 6) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    const auto line = std::max<std::size_t>(1, expected_line_bytes());
    constexpr std::size_t kPreferred = 1024 * 1024;
    auto& record = *static_cast<pTW_SETUPMEMXFER>(pointer);
    record.MinBufSize = static_cast<TW_UINT32>(line);
    record.MaxBufSize = TWON_DONTCARE32;
    record.Preferred = static_cast<TW_UINT32>(line * std::max<std::size_t>(1, kPreferred / line));
    return success();
}

Reply DataSource::setup_file(TW_UINT16 message, TW_MEMREF pointer) {
    if (state_ < 4 || state_ > 6) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    auto& record = *static_cast<pTW_SETUPFILEXFER>(pointer);
    const auto fill = [&](const std::string& name, TW_UINT16 format) {
        std::memset(record.FileName, 0, sizeof record.FileName);
        std::memcpy(record.FileName, name.data(), std::min(name.size(), sizeof record.FileName - 1));
        record.Format = format;
        record.VRefNum = 0;
    };
    switch (message) {
        case MSG_GET: fill(file_name_, capabilities_->transfer().file_format); return success();
        case MSG_GETDEFAULT: fill(kDefaultFileName, TWFF_BMP); return success();
        case MSG_SET: {
            const auto* end = static_cast<const char*>(std::memchr(record.FileName, '\0', sizeof record.FileName));
            if (!end || end == record.FileName || !Capabilities::file_format_known(record.Format)) {
                return failure(TWCC_BADVALUE);
            }
            file_name_.assign(record.FileName, static_cast<std::size_t>(end - record.FileName));
            capabilities_->set_file_format(record.Format);
            return success();
        }
        case MSG_RESET:
            if (state_ != 4) return failure(TWCC_SEQERROR);
            file_name_ = kDefaultFileName;
            capabilities_->set_file_format(TWFF_BMP);
            fill(file_name_, TWFF_BMP);
            return success();
        default: return failure(TWCC_BADPROTOCOL);
    }
}

Reply DataSource::transfer_group(TW_UINT16 message, TW_MEMREF pointer) {
    if (state_ < 4 || state_ > 6) return failure(TWCC_SEQERROR);
    if (!pointer) return failure(TWCC_BADVALUE);
    auto& group = *static_cast<TW_UINT32*>(pointer);
    switch (message) {
        case MSG_GET: group = DG_IMAGE; return success();
        case MSG_SET: return group == DG_IMAGE ? success() : failure(TWCC_BADVALUE);
        default: return failure(TWCC_BADPROTOCOL);
    }
}

}  // namespace sane_backend
