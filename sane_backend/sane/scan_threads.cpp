#include "sane_backend/sane/scan_threads.hpp"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

namespace sane_backend {

std::size_t thread_count() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        constexpr std::string_view key = "Threads:";
        if (line.compare(0, key.size(), key) != 0) continue;
        const auto digits = line.find_first_not_of(" \t", key.size());
        std::size_t count = 0;
        if (digits != std::string::npos) std::from_chars(line.data() + digits, line.data() + line.size(), count);
        return count;
    }
    return 0;
}

ScanThreads ScanThreads::before_start() { return ScanThreads(thread_count()); }

bool ScanThreads::all_ended() const {
    const auto now = thread_count();
    return now == 0 || now <= before_;
}

bool ScanThreads::wait_for_end(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // The thread is usually gone already, or a few microseconds from it.
    std::chrono::microseconds pause{50};
    while (!all_ended()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace sane_backend
