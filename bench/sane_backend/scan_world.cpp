#include "bench/sane_backend/scan_world.hpp"

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <vector>

#include "platform/folders/folders.hpp"
#include "twain/entry/data_source_entry.hpp"

namespace sane_bench {

using namespace twain;

namespace {

// One buffer for both ways of reading, so that both copy into the same memory.
std::vector<std::uint8_t>& read_buffer(std::size_t bytes) {
    static std::vector<std::uint8_t> buffer;
    buffer.resize(bytes);
    return buffer;
}

std::map<void*, std::size_t>& handles() {
    static std::map<void*, std::size_t> live;
    return live;
}

TW_UINT16 dsm_entry(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) {
    return TWRC_SUCCESS;
}
TW_HANDLE allocate(TW_UINT32 size) {
    void* memory = std::malloc(size ? size : 1);
    if (memory) handles()[memory] = size;
    return memory;
}
void release(TW_HANDLE handle) {
    handles().erase(handle);
    std::free(handle);
}
TW_MEMREF lock(TW_HANDLE handle) { return handle; }
void unlock(TW_HANDLE) {}

TW_IDENTITY& application() {
    static TW_IDENTITY identity = [] {
        TW_IDENTITY id{};
        id.Id = 1;
        id.ProtocolMajor = 2;
        id.ProtocolMinor = 4;
        id.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2 | DF_DSM2;
        std::strcpy(id.ProductName, "Benchmark");
        return id;
    }();
    return identity;
}

bool set_one(TW_UINT16 capability, TW_UINT16 type, TW_UINT32 item) {
    TW_ONEVALUE one{type, item};
    TW_CAPABILITY record{capability, TWON_ONEVALUE, &one};
    const auto rc = call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &record);
    return rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS;
}

TW_UINT32 fix32_bits(double value) {
    const TW_FIX32 number = to_fix32(value);
    TW_UINT32 bits;
    std::memcpy(&bits, &number, 4);
    return bits;
}

void write(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

}  // namespace

ScanWorld::ScanWorld(const std::vector<std::string>& test_conf) {
    std::string pattern = (std::filesystem::temp_directory_path() / "sane-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    root_ = pattern;
    const auto frameworks = root_ / "root/Library/Printers/Velmora/Frameworks";
    std::filesystem::create_directories(frameworks);
    std::filesystem::create_directory_symlink(SANE_BACKEND_BUNDLE,
                                              frameworks / "VelDataSourceBackend.bundle");
    platform::folders::set_root(root_ / "root");
    write(root_ / "sane.d/dll.conf", "test\n");
    std::string conf = "number_of_devices 1\n";
    for (const auto& line : test_conf) conf += line + "\n";
    write(root_ / "sane.d/test.conf", conf);
    ::setenv("SANE_CONFIG_DIR", (root_ / "sane.d").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
}

ScanWorld::~ScanWorld() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::size_t live_handles() { return handles().size(); }

std::size_t live_handle_bytes() {
    std::size_t bytes = 0;
    for (const auto& [handle, size] : handles()) bytes += size;
    return bytes;
}

TW_UINT16 call(TW_UINT32 group, TW_UINT16 data, TW_UINT16 message, void* pointer) {
    return DS_Entry(&application(), group, data, message, pointer);
}

bool open_source(double dpi, TW_UINT16 mechanism) {
    TW_IDENTITY source{};
    DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &source);
    source.Id = 2;
    TW_ENTRYPOINT points{sizeof(TW_ENTRYPOINT), dsm_entry, allocate, release, lock, unlock};
    if (call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &points) != TWRC_SUCCESS) return false;
    if (call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source) != TWRC_SUCCESS) return false;
    return set_one(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB) &&
           set_one(ICAP_BITDEPTH, TWTY_UINT16, 24) &&
           set_one(ICAP_XRESOLUTION, TWTY_FIX32, fix32_bits(dpi)) &&
           set_one(ICAP_XFERMECH, TWTY_UINT16, mechanism);
}

void close_source() {
    TW_IDENTITY source{};
    call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
}

namespace {

bool enable() {
    TW_USERINTERFACE ui{0, 0, nullptr};
    return call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) == TWRC_SUCCESS;
}

void finish() {
    TW_PENDINGXFERS pending{};
    call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    TW_USERINTERFACE ui{0, 0, nullptr};
    call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

}  // namespace

std::size_t memory_scan() {
    if (!enable()) return 0;
    TW_SETUPMEMXFER setup{};
    call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
    auto& buffer = read_buffer(setup.Preferred);
    std::size_t received = 0;
    for (;;) {
        TW_IMAGEMEMXFER strip{};
        strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()),
                        buffer.data()};
        const auto rc = call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) return 0;
        received += strip.BytesWritten;
        if (rc == TWRC_XFERDONE) break;
    }
    finish();
    return received;
}

std::size_t native_scan() {
    if (!enable()) return 0;
    TW_HANDLE handle = nullptr;
    if (call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle) != TWRC_XFERDONE) return 0;
    const std::size_t size = handles()[handle];
    release(handle);
    finish();
    return size;
}

std::size_t bare_scan(double dpi, std::size_t buffer_bytes) {
    SANE_Int version = 0;
    if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) return 0;
    const SANE_Device** devices = nullptr;
    SANE_Handle handle = nullptr;
    std::size_t received = 0;
    if (sane_get_devices(&devices, SANE_FALSE) == SANE_STATUS_GOOD && devices && devices[0] &&
        sane_open(devices[0]->name, &handle) == SANE_STATUS_GOOD) {
        SANE_Int count = 0;
        sane_get_option_descriptor(handle, 0);
        sane_control_option(handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr);
        for (SANE_Int index = 1; index < count; ++index) {
            const auto* option = sane_get_option_descriptor(handle, index);
            if (!option || !option->name) continue;
            const std::string name = option->name;
            if (name == SANE_NAME_SCAN_MODE) {
                char mode[] = SANE_VALUE_SCAN_MODE_COLOR;
                sane_control_option(handle, index, SANE_ACTION_SET_VALUE, mode, nullptr);
            } else if (name == SANE_NAME_SCAN_RESOLUTION) {
                SANE_Word value = SANE_FIX(dpi);
                sane_control_option(handle, index, SANE_ACTION_SET_VALUE, &value, nullptr);
            } else if (name == SANE_NAME_SCAN_BR_X || name == SANE_NAME_SCAN_BR_Y) {
                SANE_Word value = SANE_FIX(200.0);
                sane_control_option(handle, index, SANE_ACTION_SET_VALUE, &value, nullptr);
            }
        }
        auto& buffer = read_buffer(buffer_bytes);
        if (sane_start(handle) == SANE_STATUS_GOOD) {
            // As an application fills its strip buffer: each read goes on where the last ended.
            std::size_t at = 0;
            SANE_Int length = 0;
            while (sane_read(handle, buffer.data() + at, static_cast<SANE_Int>(buffer.size() - at),
                             &length) == SANE_STATUS_GOOD) {
                received += static_cast<std::size_t>(length);
                at += static_cast<std::size_t>(length);
                if (at == buffer.size()) at = 0;
            }
        }
        sane_cancel(handle);
        sane_close(handle);
    }
    sane_exit();
    return received;
}

}  // namespace sane_bench
