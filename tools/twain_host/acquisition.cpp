#include "tools/twain_host/acquisition.hpp"

#include <cmath>
#include <cstdio>

#include "sane_backend/protocol/twain_codes.hpp"
#include "tools/twain_host/application_link.hpp"
#include "tools/twain_host/capabilities.hpp"
#include "tools/twain_host/memory_ledger.hpp"
#include "tools/twain_host/output_names.hpp"
#include "tools/twain_host/source_manager.hpp"
#include "tools/twain_host/transfers.hpp"

namespace twain_host {

namespace {

using namespace twain;

// How long the host waits for the source's next message before it gives up.
constexpr std::chrono::seconds kPatience{120};

std::string dpi(const TW_FIX32& resolution) {
    const double value = from_fix32(resolution);
    char text[32];
    std::snprintf(text, sizeof text, value == std::floor(value) ? "%.0f" : "%.2f", value);
    return text;
}

class Acquisition {
public:
    Acquisition(const AcquireSettings& settings, std::ostream& out, std::ostream& errors)
        : settings_(settings), out_(out), errors_(errors) {}

    int run();

private:
    bool open();
    bool negotiate();
    bool enable();
    bool transfer_images();
    void wind_down();
    bool report(const StepFailure& failure);
    bool check_source(const char* step, TW_UINT16 code, bool checkstatus_too = false);
    void report_memory();

    const AcquireSettings& settings_;
    std::ostream& out_;
    std::ostream& errors_;
    ApplicationLink link_;
    int state_ = 2;  // the session's TWAIN state, for winding down
    int received_ = 0;
};

int Acquisition::run() {
    const bool done = open() && negotiate() && enable() && transfer_images();
    wind_down();
    report_memory();
    if (!done) return 1;
    const bool complete = settings_.count < 0 ? received_ > 0 : received_ == settings_.count;
    if (!complete) {
        errors_ << "twain-host: " << received_ << " of "
                << (settings_.count < 0 ? std::string("at least 1")
                                        : std::to_string(settings_.count))
                << " images arrived\n";
    }
    return complete ? 0 : 1;
}

bool Acquisition::report(const StepFailure& failure) {
    errors_ << "twain-host: " << describe(failure) << '\n';
    return false;
}

bool Acquisition::check_source(const char* step, TW_UINT16 code, bool checkstatus_too) {
    if (code == TWRC_SUCCESS || (checkstatus_too && code == TWRC_CHECKSTATUS)) return true;
    return report(link_.source_failure(step, code));
}

bool Acquisition::open() {
    TW_MEMREF parent = nullptr;  // no window on Linux
    TW_UINT16 code = link_.to_manager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent);
    if (code != TWRC_SUCCESS)
        return report(link_.manager_failure("DG_CONTROL/DAT_PARENT/MSG_OPENDSM", code));
    state_ = 3;
    if (!link_.take_entry_points()) {
        return report(link_.manager_failure("DG_CONTROL/DAT_ENTRYPOINT/MSG_GET", TWRC_FAILURE));
    }
    code = link_.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &link_.source());
    if (code != TWRC_SUCCESS) {
        const std::string where =
            settings_.data_source ? settings_.data_source->string() : settings_.folder.string();
        return report(link_.manager_failure(
            "DG_CONTROL/DAT_IDENTITY/MSG_GETFIRST (no data source answered in " + where + ")",
            code));
    }
    code = link_.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &link_.source());
    if (code != TWRC_SUCCESS)
        return report(link_.manager_failure("DG_CONTROL/DAT_IDENTITY/MSG_OPENDS", code));
    state_ = 4;
    if (!settings_.poll) {
        code = link_.register_callback();
        if (code != TWRC_SUCCESS) {
            return report(
                link_.manager_failure("DG_CONTROL/DAT_CALLBACK/MSG_REGISTER_CALLBACK", code));
        }
    }
    return true;
}

bool Acquisition::negotiate() {
    const auto set = [this](TW_UINT16 capability, TW_UINT16 type, TW_UINT32 value) {
        const auto failure = set_one_value(link_, capability, type, value);
        return !failure || report(*failure);
    };
    const TW_UINT16 mechanism = settings_.mechanism == Mechanism::Native   ? TWSX_NATIVE
                                : settings_.mechanism == Mechanism::Memory ? TWSX_MEMORY
                                                                           : TWSX_FILE;
    // The paper source first: sizes and the images to come depend on it.
    if (settings_.feeder && !set(CAP_FEEDERENABLED, TWTY_BOOL, 1)) return false;
    if (!set(CAP_XFERCOUNT, TWTY_INT16, static_cast<TW_UINT16>(settings_.count))) return false;
    if (!set(ICAP_XFERMECH, TWTY_UINT16, mechanism)) return false;
    if (settings_.mechanism == Mechanism::File &&
        !set(ICAP_IMAGEFILEFORMAT, TWTY_UINT16, settings_.file_format))
        return false;
    // The pixel type first: which bit depths a source offers depends on it.
    if (settings_.pixel_type && !set(ICAP_PIXELTYPE, TWTY_UINT16, *settings_.pixel_type))
        return false;
    if (settings_.bit_depth && !set(ICAP_BITDEPTH, TWTY_UINT16, *settings_.bit_depth)) return false;
    if ((settings_.resolution || settings_.area) && !set(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES))
        return false;
    if (settings_.resolution) {
        const TW_UINT32 bits = fix32_bits(*settings_.resolution);
        if (!set(ICAP_XRESOLUTION, TWTY_FIX32, bits) || !set(ICAP_YRESOLUTION, TWTY_FIX32, bits))
            return false;
    }
    if (settings_.area) {
        TW_IMAGELAYOUT layout{};
        TW_UINT16 code = link_.to_source(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout);
        if (!check_source("DG_IMAGE/DAT_IMAGELAYOUT/MSG_GET", code)) return false;
        layout.Frame = TW_FRAME{to_fix32(settings_.area->left), to_fix32(settings_.area->top),
                                to_fix32(settings_.area->right), to_fix32(settings_.area->bottom)};
        code = link_.to_source(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
        if (!check_source("DG_IMAGE/DAT_IMAGELAYOUT/MSG_SET", code, true)) return false;
    }
    return true;
}

bool Acquisition::enable() {
    TW_USERINTERFACE user_interface{};
    user_interface.ShowUI = 0;
    user_interface.ModalUI = 0;
    const TW_UINT16 code =
        link_.to_source(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &user_interface);
    // TWRC_CHECKSTATUS: the source could not do without its user interface; it is enabled all the
    // same.
    if (!check_source("DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS", code, true)) return false;
    state_ = 5;
    for (;;) {
        auto message = link_.next_message(settings_.poll, kPatience);
        if (!message)
            return report(StepFailure{"waiting for MSG_XFERREADY: " + message.error().message,
                                      TWRC_FAILURE, std::nullopt});
        if (*message == MSG_XFERREADY) break;
        if (*message == MSG_CLOSEDSREQ || *message == MSG_CLOSEDSOK) {
            return report(StepFailure{
                "DG_CONTROL/DAT_NULL: the data source asked to be closed before any image",
                TWRC_FAILURE, std::nullopt});
        }
    }
    state_ = 6;
    return true;
}

bool Acquisition::transfer_images() {
    // The pixels of a memory transfer follow ICAP_PIXELFLAVOR; chocolate (0 is black) by default.
    bool zero_is_white = false;
    if (settings_.mechanism == Mechanism::Memory) {
        zero_is_white =
            current_one_value(link_, ICAP_PIXELFLAVOR).value_or(TWPF_CHOCOLATE) == TWPF_VANILLA;
    }
    for (int number = 1;; ++number) {
        TW_IMAGEINFO info{};
        TW_UINT16 code = link_.to_source(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
        if (!check_source("DG_IMAGE/DAT_IMAGEINFO/MSG_GET", code)) return false;

        const auto file = image_file(settings_.file, settings_.count, number);
        TransferOutcome outcome;
        switch (settings_.mechanism) {
            case Mechanism::Native: outcome = native_transfer(link_, file); break;
            case Mechanism::Memory:
                outcome = memory_transfer(link_, info, zero_is_white, file);
                break;
            case Mechanism::File:
                outcome = file_transfer(link_, settings_.file_format, file);
                break;
        }
        if (outcome.failure) {
            if (outcome.transferring) state_ = 7;
            return report(*outcome.failure);
        }
        state_ = 7;
        if (outcome.code == TWRC_XFERDONE) {
            ++received_;
            std::int32_t height =
                outcome.lines ? static_cast<std::int32_t>(*outcome.lines) : info.ImageLength;
            if (height < 0) {
                // Not known before the transfer; the source knows it now.
                TW_IMAGEINFO after{};
                if (link_.to_source(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &after) == TWRC_SUCCESS)
                    height = after.ImageLength;
            }
            out_ << file.string() << ": " << info.ImageWidth << 'x' << height << ' '
                 << pixel_type_name(info.PixelType) << ' ' << info.BitsPerPixel << "-bit "
                 << dpi(info.XResolution) << 'x' << dpi(info.YResolution) << " dpi "
                 << mechanism_name(settings_.mechanism) << std::endl;
        } else {
            errors_ << "twain-host: image " << number << " was cancelled by the data source\n";
        }

        TW_PENDINGXFERS pending{};
        code = link_.to_source(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        if (!check_source("DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER", code)) return false;
        state_ = pending.Count == 0 ? 5 : 6;
        if (pending.Count == 0) return true;
        if (settings_.count > 0 && received_ >= settings_.count) {
            // The source has more than was asked for: the rest is dropped.
            code = link_.to_source(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
            if (!check_source("DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET", code)) return false;
            state_ = 5;
            return true;
        }
    }
}

void Acquisition::wind_down() {
    TW_PENDINGXFERS pending{};
    if (state_ == 7) {
        const TW_UINT16 code = link_.to_source(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        state_ = code == TWRC_SUCCESS && pending.Count == 0 ? 5 : 6;
    }
    if (state_ == 6) {
        link_.to_source(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
        state_ = 5;
    }
    if (state_ == 5) {
        TW_USERINTERFACE user_interface{};
        const TW_UINT16 code =
            link_.to_source(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &user_interface);
        if (code != TWRC_SUCCESS)
            report(link_.source_failure("DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS", code));
        state_ = 4;
    }
    if (state_ == 4) {
        const TW_UINT16 code =
            link_.to_manager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &link_.source());
        if (code != TWRC_SUCCESS)
            report(link_.manager_failure("DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS", code));
        state_ = 3;
    }
    if (state_ == 3) {
        TW_MEMREF parent = nullptr;
        const TW_UINT16 code = link_.to_manager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
        if (code != TWRC_SUCCESS)
            report(link_.manager_failure("DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM", code));
        state_ = 2;
    }
}

void Acquisition::report_memory() {
    const MemoryAccount account = process_memory().account();
    if (account.live_blocks > 0) {
        errors_ << "twain-host: " << account.live_blocks << " blocks (" << account.live_bytes
                << " bytes) allocated through the Source Manager were never freed\n";
    }
    if (account.refused_frees > 0) {
        errors_ << "twain-host: " << account.refused_frees
                << " frees of pointers the Source Manager never allocated (or freed already) were "
                   "refused\n";
    }
    if (account.refused_locks > 0) {
        errors_
            << "twain-host: " << account.refused_locks
            << " locks or unlocks of pointers the Source Manager never allocated were refused\n";
    }
}

}  // namespace

int acquire(const AcquireSettings& settings, std::ostream& out, std::ostream& errors,
            Trace& trace) {
    std::vector<std::filesystem::path> files = settings.data_source
                                                   ? std::vector{*settings.data_source}
                                                   : data_source_files(settings.folder);
    SourceManager manager(std::move(files), trace);
    const int status = Acquisition(settings, out, errors).run();
    const MemoryAccount account = process_memory().account();
    trace.line("memory: " + std::to_string(account.allocations) + " allocated (" +
               std::to_string(account.allocated_bytes) + " bytes), " +
               std::to_string(account.frees) + " freed, " + std::to_string(account.live_blocks) +
               " left (" + std::to_string(account.live_bytes) + " bytes), " +
               std::to_string(account.refused_frees) + " frees refused, " +
               std::to_string(account.refused_locks) + " locks refused");
    return status;
}

}  // namespace twain_host
