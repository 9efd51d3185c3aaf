// The end of a frame: the threads a scan started are waited for before its last byte is read, so
// that the backend's cancel of its reader thread finds that thread gone.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sane/saneopts.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "sane_backend/sane/sane_device.hpp"
#include "sane_backend/sane/sane_session.hpp"
#include "sane_backend/sane/scan_threads.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

using namespace sane_backend;
using namespace std::chrono_literals;

// A thread that runs until released.
class HeldThread {
public:
    HeldThread() : thread_([this] { release_.get_future().wait(); }) {}
    ~HeldThread() {
        release();
        thread_.join();
    }
    void release() {
        if (!released_) release_.set_value();
        released_ = true;
    }

private:
    std::promise<void> release_;
    bool released_ = false;
    std::thread thread_;
};

TEST(ScanThreads, OnlyThreadsStartedSinceTheSnapshotAreWaitedFor) {
    HeldThread older;
    const auto threads = ScanThreads::before_start();
    EXPECT_TRUE(threads.wait_for_end(0ms)) << "a thread running before the scan is none of its own";

    auto newer = std::make_unique<HeldThread>();
    EXPECT_FALSE(threads.wait_for_end(20ms));
    newer->release();
    // Generous: the thread ends as soon as it runs again.
    EXPECT_TRUE(threads.wait_for_end(60s));
    newer.reset();
    EXPECT_TRUE(threads.wait_for_end(0ms));
}

class FrameEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // libsane unloads its test backend at sane_exit; kept loaded, the frames of the backend's
        // own leaks keep their name for the sanitizer build's suppressions (libsane.supp).
        ::dlopen(SANE_TEST_BACKEND, RTLD_NOW | RTLD_NODELETE);
        testing_support::write_file(config_ / "dll.conf", "test\n");
        testing_support::write_file(config_ / "test.conf", "number_of_devices 1\n");
        ::setenv("SANE_CONFIG_DIR", config_.path().c_str(), 1);
        session_ = SaneSession::start();
        ASSERT_TRUE(session_);
        SANE_Status status = SANE_STATUS_GOOD;
        device_ = SaneDevice::open("test:0", status);
        ASSERT_TRUE(device_) << sane_strstatus(status);
        // A frame far below the pipe's capacity: the reader writes all of it at once and ends.
        device_->set_number(SANE_NAME_SCAN_RESOLUTION, 10);
    }

    // Reads the started frame to its end in reads of up to `room` bytes; the length of each.
    std::vector<std::size_t> read_frame(std::size_t room) {
        std::vector<std::uint8_t> buffer(room);
        std::vector<std::size_t> reads;
        for (;;) {
            std::size_t length = 0;
            const auto status = device_->read(buffer.data(), buffer.size(), length);
            if (status != SANE_STATUS_GOOD) {
                EXPECT_EQ(status, SANE_STATUS_EOF) << sane_strstatus(status);
                EXPECT_EQ(length, 0u);
                return reads;
            }
            reads.push_back(length);
        }
    }

    std::size_t frame_bytes() const {
        SANE_Parameters frame{};
        EXPECT_EQ(device_->parameters(frame), SANE_STATUS_GOOD);
        return static_cast<std::size_t>(frame.lines) * static_cast<std::size_t>(frame.bytes_per_line);
    }

    testing_support::TempDir config_{"sane"};
    std::unique_ptr<SaneSession> session_;
    std::unique_ptr<SaneDevice> device_;
};

TEST_F(FrameEnd, TheLastByteComesAloneOnceTheReaderThreadHasEnded) {
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        const auto before = thread_count();
        ASSERT_GT(before, 0u);
        ASSERT_EQ(device_->start(), SANE_STATUS_GOOD);
        const auto bytes = frame_bytes();
        ASSERT_GT(bytes, 1u);

        // However much room the reads offer, the frame's last byte is a read of its own.
        const auto reads = read_frame(bytes + 4096);
        std::size_t total = 0;
        for (const auto length : reads) total += length;
        EXPECT_EQ(total, bytes);
        ASSERT_FALSE(reads.empty());
        EXPECT_EQ(reads.back(), 1u);
        EXPECT_EQ(thread_count(), before);
        device_->cancel();
    }
}

TEST_F(FrameEnd, AThreadThatOutlivesTheFrameOnlyDelaysItsEnd) {
    // A thread the device did not start, but that started with the scan and outlives it: the
    // frame still ends whole, after the wait; the next frame too.
    for (int frame = 0; frame < 2; ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_EQ(device_->start(), SANE_STATUS_GOOD);
        HeldThread lingering;
        const auto bytes = frame_bytes();
        const auto started = std::chrono::steady_clock::now();
        const auto reads = read_frame(bytes);
        const auto took = std::chrono::steady_clock::now() - started;
        std::size_t total = 0;
        for (const auto length : reads) total += length;
        EXPECT_EQ(total, bytes);
        if (frame == 0) {
            EXPECT_GE(took, SaneDevice::kThreadEndLimit);
        }
        device_->cancel();
    }
}

}  // namespace
