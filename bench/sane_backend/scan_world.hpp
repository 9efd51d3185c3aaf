#pragma once
// What the SANE backend's benchmarks share: a private world (the fixed paths rooted in a
// temporary folder holding the backend bundle, a SANE configuration showing only the test
// device in colour over its largest area), a stand-in Source Manager whose memory functions
// count what they hand out, and the acquisitions through twain-source's DS_Entry and through
// libsane alone.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "sane_backend/protocol/twain_codes.hpp"

namespace sane_bench {

class ScanWorld {
public:
    // test_conf: lines for the test device; the world is the process's for its whole life.
    explicit ScanWorld(const std::vector<std::string>& test_conf);
    ScanWorld(const ScanWorld&) = delete;
    ScanWorld& operator=(const ScanWorld&) = delete;
    ~ScanWorld();

private:
    std::filesystem::path root_;
};

// Handles the stand-in Source Manager has allocated and not yet seen freed, and their bytes.
std::size_t live_handles();
std::size_t live_handle_bytes();

// DS_Entry from the stand-in application.
twain::TW_UINT16 call(twain::TW_UINT32 group, twain::TW_UINT16 data, twain::TW_UINT16 message,
                      void* pointer);

// Opens the source (entry points, MSG_OPENDS) and sets colour, 24 bits, dpi and the mechanism;
// false on any failure.
bool open_source(double dpi, twain::TW_UINT16 mechanism);
void close_source();

// One whole image through the source by memory transfer, in buffers of the size the source
// prefers; the bytes received (0 on failure).
std::size_t memory_scan();
// One whole image by native transfer; the handle's size (0 on failure). The handle is freed.
std::size_t native_scan();
// The same scan read with libsane alone: sane_init, the device opened, colour, dpi, the
// largest area, sane_start, sane_read until the end, sane_cancel, sane_close, sane_exit.
std::size_t bare_scan(double dpi, std::size_t buffer_bytes);

}  // namespace sane_bench
