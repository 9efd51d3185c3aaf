#include "tests/support/descriptor_limit.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

namespace testing_support {

SpareDescriptors::SpareDescriptors(int spare) {
    if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) throw std::runtime_error("getrlimit failed");
    // Every descriptor below the lowest free one is taken, so the limit counts from there. An
    // eventfd finds it without opening a file (under umockdev, opening anything below /dev
    // connects to the test bed, whose thread then takes a descriptor of its own).
    const int lowest_free = ::eventfd(0, EFD_CLOEXEC);
    if (lowest_free < 0) throw std::runtime_error("cannot make an eventfd");
    ::close(lowest_free);
    rlimit tight = saved_;
    tight.rlim_cur = static_cast<rlim_t>(lowest_free + spare);
    if (::setrlimit(RLIMIT_NOFILE, &tight) != 0) throw std::runtime_error("setrlimit failed");
}

SpareDescriptors::~SpareDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

}  // namespace testing_support
