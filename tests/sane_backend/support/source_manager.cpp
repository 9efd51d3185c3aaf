#include "tests/sane_backend/support/source_manager.hpp"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/temp_dir.hpp"
#include "twain/entry/data_source_entry.hpp"

namespace sane_testing {

using namespace twain;

namespace {

SourceManager* current_manager = nullptr;

template <class T>
T load(const std::uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

double item_value(const std::uint8_t* at, TW_UINT16 type) {
    switch (type) {
        case TWTY_INT8: return load<std::int8_t>(at);
        case TWTY_UINT8: return load<std::uint8_t>(at);
        case TWTY_INT16: return load<std::int16_t>(at);
        case TWTY_UINT16:
        case TWTY_BOOL: return load<std::uint16_t>(at);
        case TWTY_INT32: return load<std::int32_t>(at);
        case TWTY_UINT32: return load<std::uint32_t>(at);
        case TWTY_FIX32: return from_fix32(load<TW_FIX32>(at));
        default: return 0;
    }
}

double range_value(TW_UINT32 field, TW_UINT16 type) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &field, 4);
    if (type == TWTY_FIX32) return item_value(bytes, type);
    if (type == TWTY_INT8 || type == TWTY_INT16 || type == TWTY_INT32) return static_cast<std::int32_t>(field);
    return field;
}

}  // namespace

SourceManager::SourceManager() {
    current_manager = this;
    application_.Id = 1;
    application_.Version = {2, 4, TWLG_USA, TWCY_USA, "test"};
    application_.ProtocolMajor = 2;
    application_.ProtocolMinor = 4;
    application_.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2 | DF_DSM2;
    std::strcpy(application_.Manufacturer, "Velmora tests");
    std::strcpy(application_.ProductFamily, "Tests");
    std::strcpy(application_.ProductName, "Backend test host");
}

SourceManager::~SourceManager() { current_manager = nullptr; }

TW_UINT16 SourceManager::entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 group, TW_UINT16 data,
                               TW_UINT16 message, TW_MEMREF) {
    if (!current_manager || group != DG_CONTROL || data != DAT_NULL || !origin || !destination) return TWRC_FAILURE;
    current_manager->messages_.push_back(message);
    current_manager->origins_.push_back(origin->Id);
    current_manager->destinations_.emplace_back(destination->ProductName);
    return TWRC_SUCCESS;
}

TW_HANDLE SourceManager::allocate(TW_UINT32 size) {
    void* memory = std::calloc(size == 0 ? 1 : size, 1);
    if (memory && current_manager) {
        current_manager->live_[memory] = size;
        ++current_manager->allocations_;
    }
    return memory;
}

void SourceManager::release(TW_HANDLE handle) {
    if (!handle) return;
    if (current_manager) current_manager->live_.erase(handle);
    std::free(handle);
}

TW_MEMREF SourceManager::lock(TW_HANDLE handle) { return handle; }
void SourceManager::unlock(TW_HANDLE) {}

void SourceManager::free(TW_HANDLE handle) { release(handle); }

TW_UINT16 SourceManager::call(TW_UINT32 group, TW_UINT16 data, TW_UINT16 message, void* pointer) {
    return DS_Entry(&application_, group, data, message, pointer);
}

TW_UINT16 SourceManager::condition() {
    TW_STATUS status{};
    if (call(DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) return 0xffff;
    return status.ConditionCode;
}

TW_IDENTITY SourceManager::probe() {
    TW_IDENTITY identity{};
    DS_Entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity);
    return identity;
}

TW_UINT16 SourceManager::open(bool with_entry_points) {
    source_ = probe();
    source_.Id = 7;
    if (with_entry_points && (source_.SupportedGroups & DF_DS2)) {
        TW_ENTRYPOINT points{};
        points.Size = sizeof points;
        points.DSM_Entry = &SourceManager::entry;
        points.DSM_MemAllocate = &SourceManager::allocate;
        points.DSM_MemFree = &SourceManager::release;
        points.DSM_MemLock = &SourceManager::lock;
        points.DSM_MemUnlock = &SourceManager::unlock;
        const auto rc = call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &points);
        if (rc != TWRC_SUCCESS) return rc;
    }
    const auto rc = call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
    open_condition_ = rc == TWRC_SUCCESS ? TWCC_SUCCESS : condition();
    return rc;
}

TW_UINT16 SourceManager::close() { return call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_); }

TW_UINT16 SourceManager::set(TW_UINT16 capability, TW_UINT16 type, double value) {
    const TW_HANDLE handle = allocate(sizeof(TW_ONEVALUE));
    auto* one = static_cast<pTW_ONEVALUE>(handle);
    one->ItemType = type;
    if (type == TWTY_FIX32) {
        const TW_FIX32 number = to_fix32(value);
        std::memcpy(&one->Item, &number, 4);
    } else {
        one->Item = static_cast<TW_UINT32>(static_cast<std::int64_t>(value));
    }
    TW_CAPABILITY record{capability, TWON_ONEVALUE, handle};
    const auto rc = call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &record);
    release(handle);
    return rc;
}

TW_UINT16 SourceManager::set_frame(TW_UINT16 capability, const TW_FRAME& frame) {
    const TW_HANDLE handle = allocate(offsetof(TW_ONEVALUE, Item) + sizeof frame);
    auto* bytes = static_cast<std::uint8_t*>(handle);
    const TW_UINT16 type = TWTY_FRAME;
    std::memcpy(bytes, &type, 2);
    std::memcpy(bytes + offsetof(TW_ONEVALUE, Item), &frame, sizeof frame);
    TW_CAPABILITY record{capability, TWON_ONEVALUE, handle};
    const auto rc = call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &record);
    release(handle);
    return rc;
}

std::optional<CapabilityValue> SourceManager::get(TW_UINT16 capability, TW_UINT16 message) {
    TW_CAPABILITY record{capability, TWON_DONTCARE16, nullptr};
    const auto rc = call(DG_CONTROL, DAT_CAPABILITY, message, &record);
    if (rc != TWRC_SUCCESS && rc != TWRC_CHECKSTATUS) return std::nullopt;
    const TW_HANDLE container = record.hContainer;  // a copy: the record is packed
    if (!container || !live_.count(container)) return std::nullopt;
    const auto* bytes = static_cast<const std::uint8_t*>(container);
    CapabilityValue value;
    value.container = record.ConType;
    value.item_type = load<TW_UINT16>(bytes);
    const auto add = [&](const std::uint8_t* at) {
        if (value.item_type == TWTY_FRAME) {
            value.frames.push_back(load<TW_FRAME>(at));
        } else {
            value.items.push_back(item_value(at, value.item_type));
        }
    };
    const TW_UINT32 size = item_size(value.item_type);
    switch (record.ConType) {
        case TWON_ONEVALUE: add(bytes + offsetof(TW_ONEVALUE, Item)); break;
        case TWON_ENUMERATION: {
            const auto count = load<TW_UINT32>(bytes + offsetof(TW_ENUMERATION, NumItems));
            value.current = load<TW_UINT32>(bytes + offsetof(TW_ENUMERATION, CurrentIndex));
            value.default_index = load<TW_UINT32>(bytes + offsetof(TW_ENUMERATION, DefaultIndex));
            for (TW_UINT32 at = 0; at < count; ++at) add(bytes + offsetof(TW_ENUMERATION, ItemList) + at * size);
            break;
        }
        case TWON_ARRAY: {
            const auto count = load<TW_UINT32>(bytes + offsetof(TW_ARRAY, NumItems));
            for (TW_UINT32 at = 0; at < count; ++at) add(bytes + offsetof(TW_ARRAY, ItemList) + at * size);
            break;
        }
        case TWON_RANGE: {
            const auto range = load<TW_RANGE>(bytes);
            for (const auto field :
                 {range.MinValue, range.MaxValue, range.StepSize, range.DefaultValue, range.CurrentValue}) {
                value.items.push_back(range_value(field, value.item_type));
            }
            break;
        }
        default: break;
    }
    release(container);
    return value;
}

double SourceManager::current(TW_UINT16 capability) {
    const auto value = get(capability, MSG_GETCURRENT);
    return value && !value->items.empty() ? value->items.front() : -12345;
}

void SourceManager::settle_device() {
    const auto main_thread = std::to_string(::getpid());
    // A condition, not a delay: this returns as soon as the thread is past its start.
    for (int poll = 0; poll < 20000; ++poll) {
        bool settled = true;
        std::error_code error;
        for (std::filesystem::directory_iterator task("/proc/self/task", error), end; !error && task != end;
             task.increment(error)) {
            if (task->path().filename() == main_thread) continue;
            std::ifstream syscall(task->path() / "syscall");
            std::string first;
            // "1 ..." is a thread blocked in write(2); a running one reads "running", a thread
            // that has gone reads nothing.
            if (!(syscall >> first) || first == std::to_string(SYS_write)) continue;
            settled = false;
        }
        if (settled) return;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
}

TW_UINT16 SourceManager::small_frame() {
    return set_frame(ICAP_FRAMES, {to_fix32(0), to_fix32(0), to_fix32(0.2), to_fix32(0.2)});
}

TW_UINT16 SourceManager::enable(bool show_ui) {
    TW_USERINTERFACE ui{static_cast<TW_BOOL>(show_ui ? 1 : 0), 0, nullptr};
    const auto rc = call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc == TWRC_SUCCESS) settle_device();
    return rc;
}

TW_UINT16 SourceManager::disable() {
    TW_USERINTERFACE ui{0, 0, nullptr};
    return call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

TW_UINT16 SourceManager::end_transfer(TW_UINT16* count) {
    TW_PENDINGXFERS pending{};
    const auto rc = call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (rc == TWRC_SUCCESS && pending.Count != 0) settle_device();
    if (count) *count = pending.Count;
    return rc;
}

TW_UINT16 SourceManager::reset_transfers(TW_UINT16* count) {
    TW_PENDINGXFERS pending{};
    const auto rc = call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    if (count) *count = pending.Count;
    return rc;
}

Transferred SourceManager::native() {
    Transferred image;
    call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image.info);
    TW_HANDLE handle = nullptr;
    image.rc = call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    image.condition = condition();
    if (image.rc == TWRC_XFERDONE && handle && live_.count(handle)) {
        const auto* bytes = static_cast<const std::uint8_t*>(handle);
        image.bytes.assign(bytes, bytes + live_[handle]);
        release(handle);
    }
    call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image.info_after);
    return image;
}

Transferred SourceManager::memory(std::size_t buffer_bytes) {
    Transferred image;
    call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image.info);
    if (buffer_bytes == 0) {
        TW_SETUPMEMXFER setup{};
        call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup);
        buffer_bytes = setup.Preferred;
    }
    std::vector<std::uint8_t> buffer(buffer_bytes);
    for (;;) {
        TW_IMAGEMEMXFER strip{};
        strip.Compression = TWON_DONTCARE16;
        strip.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(buffer.size()), buffer.data()};
        image.rc = call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &strip);
        image.condition = condition();
        if (image.rc != TWRC_SUCCESS && image.rc != TWRC_XFERDONE) break;
        image.strips.push_back(strip);
        image.bytes.insert(image.bytes.end(), buffer.begin(), buffer.begin() + strip.BytesWritten);
        if (image.rc == TWRC_XFERDONE) break;
    }
    call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image.info_after);
    return image;
}

Transferred SourceManager::file(const std::filesystem::path& path, TW_UINT16 format) {
    Transferred image;
    TW_SETUPFILEXFER setup{};
    std::strncpy(setup.FileName, path.c_str(), sizeof setup.FileName - 1);
    setup.Format = format;
    call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
    call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image.info);
    image.rc = call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    image.condition = condition();
    if (image.rc == TWRC_XFERDONE) {
        const auto text = testing_support::read_file(path);
        image.bytes.assign(text.begin(), text.end());
    }
    call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &image.info_after);
    return image;
}

}  // namespace sane_testing
