#pragma once
// Leaves the process room for a given number of further descriptors, as a process that has
// nearly run out of them; the old limit comes back when the object goes.

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace testing_support {

class DescriptorLimit {
public:
    explicit DescriptorLimit(int further) {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        // Descriptors are handed out lowest first, so the next one is the lowest free number.
        const int next = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ::close(next);
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(next + further);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    DescriptorLimit(const DescriptorLimit&) = delete;
    DescriptorLimit& operator=(const DescriptorLimit&) = delete;
    ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

private:
    rlimit saved_{};
};

}  // namespace testing_support
