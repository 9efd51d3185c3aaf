#include "tests/support/descriptor_limit.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>

namespace testing_support {

SpareDescriptors::SpareDescriptors(int spare) {
    if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) throw std::runtime_error("getrlimit failed");
    // Every descriptor below the lowest free one is taken, so the limit counts from there.
    const int lowest_free = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (lowest_free < 0) throw std::runtime_error("cannot open /dev/null");
    ::close(lowest_free);
    rlimit tight = saved_;
    tight.rlim_cur = static_cast<rlim_t>(lowest_free + spare);
    if (::setrlimit(RLIMIT_NOFILE, &tight) != 0) throw std::runtime_error("setrlimit failed");
}

SpareDescriptors::~SpareDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

}  // namespace testing_support
