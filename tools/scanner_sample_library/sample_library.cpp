// The sample scanner library: the entry points of scanner_library_entry_points.h, doing nothing
// to any device but recording every call, with its arguments and the destination list block
// it got, in the record file (record_file.hpp; where it is and what the library answers:
// sample_settings.hpp). Device handles are 1, 2, 3, ... counted from the code's load.
//
// It also watches for overlapping open-to-close sequences. Two sequences that overlap share
// one loaded copy of this code (the second load only counts up), so a device handle that is
// still enabled when EnableScannerEx is called again means that a sequence began while another
// one was open: that is recorded as "Overlap".

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "monitor/scannerlib/scanner_library_entry_points.h"
#include "tools/scanner_sample_library/record_file.hpp"
#include "tools/scanner_sample_library/sample_settings.hpp"

namespace {

using scanner_sample::RecordedCall;

// The longest block recorded whole; the monitor's longest is 342 bytes.
constexpr std::int32_t max_recorded_block = 4096;

std::mutex state_lock;
std::set<ScannerDeviceHandle> enabled_handles;  // guarded by state_lock
ScannerDeviceHandle last_handle = 0;            // guarded by state_lock

// <bundle>/Contents/MacOS/<executable>: the bundle this code was loaded from.
std::filesystem::path own_bundle() {
    Dl_info info{};
    if (::dladdr(&state_lock, &info) == 0 || !info.dli_fname) return {};
    return std::filesystem::path(info.dli_fname).parent_path().parent_path().parent_path();
}

struct Context {
    scanner_sample::Settings settings;
    std::filesystem::path record;
};

// Read at every call, so that a test or a demo can change them between two calls.
Context context() {
    const auto bundle = own_bundle();
    auto settings = scanner_sample::read_settings(bundle);
    auto record = scanner_sample::record_path(bundle, settings);
    return {std::move(settings), std::move(record)};
}

RecordedCall call(const char* name) {
    return RecordedCall{
        name, {{"pid", std::to_string(::getpid())}, {"thread", std::to_string(::gettid())}}};
}

void add(RecordedCall& call, const char* key, long long value) {
    call.fields.emplace_back(key, std::to_string(value));
}

void record(const Context& context, const RecordedCall& call) {
    if (auto appended = scanner_sample::append_call(context.record, call); !appended) {
        std::fprintf(stderr, "7720ScannerLib: %s\n", appended.error().message.c_str());
    }
}

std::string handle_list(const std::set<ScannerDeviceHandle>& handles) {
    std::string list;
    for (const auto handle : handles) list += (list.empty() ? "" : ",") + std::to_string(handle);
    return list;
}

}  // namespace

ScannerDeviceHandle EnableScannerEx(int32_t vendor, int32_t product) {
    const Context here = context();
    const std::lock_guard lock(state_lock);
    ScannerDeviceHandle handle = ++last_handle;
    if (handle == 0) handle = ++last_handle;
    auto enable = call("EnableScannerEx");
    add(enable, "vendor", vendor);
    add(enable, "product", product);
    add(enable, "result", handle);
    record(here, enable);
    if (!enabled_handles.empty()) {
        auto overlap = call("Overlap");
        add(overlap, "handle", handle);
        overlap.fields.emplace_back("enabled", handle_list(enabled_handles));
        record(here, overlap);
    }
    enabled_handles.insert(handle);
    return handle;
}

int32_t DisableScanner(ScannerDeviceHandle handle) {
    const Context here = context();
    const std::lock_guard lock(state_lock);
    enabled_handles.erase(handle);
    auto disable = call("DisableScanner");
    add(disable, "handle", handle);
    add(disable, "result", 0);
    record(here, disable);
    return 0;
}

int32_t ScanVersion(ScannerDeviceHandle handle, uint8_t* version1, uint8_t* version2,
                    uint8_t* flags) {
    const Context here = context();
    const auto& bytes = here.settings.scan_version_bytes;
    if (version1) *version1 = bytes[0];
    if (version2) *version2 = bytes[1];
    if (flags) *flags = bytes[2];
    auto version = call("ScanVersion");
    add(version, "handle", handle);
    add(version, "version1", bytes[0]);
    add(version, "version2", bytes[1]);
    add(version, "flags", bytes[2]);
    add(version, "result", here.settings.scan_version_result);
    const std::lock_guard lock(state_lock);
    record(here, version);
    return here.settings.scan_version_result;
}

int32_t DeviceParameterSet(ScannerDeviceHandle handle, int32_t parameter, int32_t count,
                           const uint8_t* block, int32_t length) {
    const Context here = context();
    auto set = call("DeviceParameterSet");
    add(set, "handle", handle);
    add(set, "parameter", parameter);
    add(set, "count", count);
    add(set, "length", length);
    // Copied now: the block is the caller's and gone once this returns.
    if (block && length >= 0 && length <= max_recorded_block) {
        set.fields.emplace_back(
            "block", scanner_sample::hex_bytes({block, static_cast<std::size_t>(length)}));
    }
    const auto delay = here.settings.parameter_set_delay;
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    add(set, "delay", delay.count());
    add(set, "result", 0);
    const std::lock_guard lock(state_lock);
    record(here, set);
    return 0;
}

int32_t EndNetworkScan(ScannerDeviceHandle handle) {
    const Context here = context();
    auto end = call("EndNetworkScan");
    add(end, "handle", handle);
    add(end, "result", 0);
    const std::lock_guard lock(state_lock);
    record(here, end);
    return 0;
}
