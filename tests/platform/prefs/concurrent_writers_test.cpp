// Threads and processes sharing one domain at the same time.

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/plist/describe.hpp"
#include "platform/prefs/domain.hpp"
#include "tests/platform/prefs/forked_child.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

namespace prefs = platform::prefs;
using platform::plist::Value;
using prefs::Scope;

constexpr const char* kDomain = "com.example.shared";
constexpr int kRounds = 40;

std::string key_of(int writer, int round) {
    return "w" + std::to_string(writer) + "-" + std::to_string(round);
}

// Each round sets a key of its own and rewrites the writer's counter, synchronizing around the
// change as the system's scanner status accessors do. Answers whether every step succeeded.
bool write_rounds(int writer) {
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
        auto& domain = prefs::shared_domain(kDomain, Scope::CurrentHost);
        ok = domain.synchronize().ok() && ok;
        ok = domain.set_value(key_of(writer, round), Value::integer(round)).ok() && ok;
        ok = domain.set_value("last-" + std::to_string(writer), Value::integer(round)).ok() && ok;
        ok = domain.synchronize().ok() && ok;
    }
    return ok;
}

// Two threads of this process and of each child write at once.
bool write_from_threads(int first_writer) {
    std::atomic<bool> ok{true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&ok, writer = first_writer + t] {
            if (!write_rounds(writer)) ok = false;
        });
    }
    for (auto& thread : threads) thread.join();
    return ok;
}

TEST(PrefsConcurrency, WritersInThreadsAndProcessesLoseNothing) {
    testing_support::IsolatedEnvironment env;
    // Children first: a process should fork before it has threads.
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
        children.push_back(testing_support::start_child(
            [child] { return write_from_threads(10 * (child + 1)) ? 0 : 1; }));
    }
    EXPECT_TRUE(write_from_threads(0));
    for (const pid_t child : children) EXPECT_EQ(testing_support::wait_child(child), 0);

    auto& domain = prefs::shared_domain(kDomain, Scope::CurrentHost);
    ASSERT_TRUE(domain.synchronize());
    for (const int writer : {0, 1, 10, 11, 20, 21}) {
        for (int round = 0; round < kRounds; ++round) {
            EXPECT_EQ(domain.copy_value(key_of(writer, round)), Value::integer(round))
                << key_of(writer, round);
        }
        EXPECT_EQ(domain.copy_value("last-" + std::to_string(writer)), Value::integer(kRounds - 1));
    }
}

TEST(PrefsConcurrency, ReadersNeverSeeAHalfWrittenFile) {
    testing_support::IsolatedEnvironment env;
    const auto file = *prefs::domain_path(kDomain, Scope::CurrentHost);
    auto& domain = prefs::shared_domain(kDomain, Scope::CurrentHost);
    ASSERT_TRUE(domain.set_value("seed", Value::integer(0)));
    ASSERT_TRUE(domain.synchronize());

    // A flag in memory shared with the reader process.
    void* shared = ::mmap(nullptr, sizeof(std::atomic<bool>), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* done = new (shared) std::atomic<bool>(false);
    // The reader reads the file raw, as another program would, until the writer is done.
    const pid_t reader = testing_support::start_child([&] {
        int reads = 0;
        while (!done->load()) {
            auto read = prefs::read_domain_file(file);
            if (read.state != prefs::FileState::Loaded || !read.values.contains("seed")) return 1;
            ++reads;
        }
        return reads > 0 ? 0 : 2;
    });
    // Large values make each write take long enough to be caught half done, if it could be.
    const std::vector<std::uint8_t> block(256 * 1024, 0xA5);
    for (int round = 0; round < 30; ++round) {
        EXPECT_TRUE(domain.set_value("block", Value::data(block)));
        EXPECT_TRUE(domain.set_value("round", Value::integer(round)));
        EXPECT_TRUE(domain.synchronize());
    }
    done->store(true);
    EXPECT_EQ(testing_support::wait_child(reader), 0);
    ::munmap(shared, sizeof(std::atomic<bool>));
}

}  // namespace
