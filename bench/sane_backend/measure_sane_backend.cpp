// Measurements of the backend over SANE's test device, printed as plain lines:
//
//   1. The heap a native transfer of the largest colour scan (200 x 200 mm, 300 dpi, 24 bits)
//      holds at its peak, against the image it hands over: the backend holds at most the image
//      (the TIFF handle it fills in place) plus one strip.
//   2. A thousand rounds of open, native scan (75 dpi) and close through DS_Entry: the heap in
//      use (and apart, the blocks SANE's test backend allocated itself, which it leaks when it
//      cancels its reader thread before the thread freed them), the Source Manager's handles
//      still live, descriptors and threads, after round 1, 10, 100 and 1000; and the same for
//      the same rounds read with libsane alone. The backend must add nothing that grows.
//
//   build/bench/sane_backend/measure_sane_backend [rounds]

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench/sane_backend/heap_count.hpp"
#include "bench/sane_backend/scan_world.hpp"

namespace {

using namespace sane_bench;
using namespace twain;

std::size_t entries(const char* folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

int native_peak() {
    if (!open_source(300, TWSX_NATIVE)) return 1;
    // A first scan loads what stays loaded for the session (libsane's test backend, libtiff).
    if (native_scan() == 0) return 1;
    const std::size_t before = heap_in_use();
    reset_heap_peak();
    const std::size_t tiff = native_scan();
    const std::size_t peak = heap_peak() - before;
    close_source();
    if (tiff == 0) return 1;
    const std::size_t image = 2362u * 2362u * 3u;
    std::printf("native transfer, 200 x 200 mm colour at 300 dpi:\n");
    std::printf("  image            %zu bytes\n", image);
    std::printf("  TIFF handle      %zu bytes (image + %zu of header and directory)\n", tiff,
                tiff - image);
    std::printf("  heap peak        %zu bytes above the open source before the transfer\n", peak);
    std::printf("  beyond the TIFF  %zu bytes (%.2f lines of %zu bytes)\n", peak - tiff,
                static_cast<double>(peak - tiff) / (2362.0 * 3),
                static_cast<std::size_t>(2362 * 3));
    return 0;
}

struct Round {
    std::size_t heap;
    std::size_t test_backend;  // bytes in blocks SANE's test backend allocated itself
    std::size_t test_blocks;
    std::size_t handles;
    std::size_t descriptors;
    std::size_t threads;
};

Round snapshot() {
    return {heap_in_use(),  apart_in_use(),           apart_blocks(),
            live_handles(), entries("/proc/self/fd"), entries("/proc/self/task")};
}

bool shown(int round, int count) {
    return round == 1 || round == 10 || round == 100 || round == count;
}

void print(const char* title, const std::vector<Round>& rounds, int count) {
    std::printf("%s\n", title);
    std::printf("  %-6s %12s %22s %16s %12s %12s %8s\n", "round", "heap", "test backend's blocks",
                "heap without", "DSM handles", "descriptors", "threads");
    const int rows[] = {1, 10, 100, count};
    for (std::size_t row = 0; row < rounds.size(); ++row) {
        const auto& at = rounds[row];
        std::printf("  %-6d %12zu %14zu in %4zu %16zu %12zu %12zu %8zu\n", rows[row], at.heap,
                    at.test_backend, at.test_blocks, at.heap - at.test_backend, at.handles,
                    at.descriptors, at.threads);
    }
    const auto without = [](const Round& at) {
        return static_cast<double>(at.heap - at.test_backend);
    };
    std::printf(
        "  growth from round 1 to %d: heap %.0f bytes, without the test backend's blocks %.0f "
        "bytes\n",
        count, static_cast<double>(rounds.back().heap) - static_cast<double>(rounds.front().heap),
        without(rounds.back()) - without(rounds.front()));
}

int rounds(int count) {
    // The same rounds read with libsane alone first. libsane's test backend leaks the picture of
    // a reader thread it cancels before the thread freed it, which a round of either kind may
    // do: its own blocks are counted apart.
    std::vector<Round> bare;
    for (int round = 1; round <= count; ++round) {
        if (bare_scan(75, 1024 * 1024) == 0) return 1;
        if (shown(round, count)) bare.push_back(snapshot());
    }
    std::vector<Round> backend;
    for (int round = 1; round <= count; ++round) {
        if (!open_source(75, TWSX_NATIVE) || native_scan() == 0) {
            std::printf("round %d failed\n", round);
            return 1;
        }
        close_source();
        if (shown(round, count)) backend.push_back(snapshot());
    }
    std::printf("%d rounds (200 x 200 mm colour at 75 dpi):\n", count);
    print("libsane alone: sane_init, open, start, read to the end, cancel, close, sane_exit", bare,
          count);
    print("through DS_Entry and the backend: open, enable, native transfer, end, disable, close",
          backend, count);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const ScanWorld world({});
    // libsane unloads its test backend at sane_exit; kept loaded, its blocks can be told apart.
    void* test_backend = ::dlopen(SANE_TEST_BACKEND, RTLD_NOW | RTLD_NODELETE);
    void* entry = test_backend ? ::dlsym(test_backend, "sane_test_init") : nullptr;
    if (!entry) return 1;
    count_apart(entry);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (native_peak() != 0) return 1;
    return rounds(count);
}
