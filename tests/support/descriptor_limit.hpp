#pragma once
// Runs part of a test short of file descriptors: while a SpareDescriptors lives, the process can
// open only that many more (the soft limit is lowered to just above the descriptors it holds).
// Every thread of the process shares the limit, so the test must know that nothing else opens a
// descriptor meanwhile.

#include <sys/resource.h>

namespace testing_support {

class SpareDescriptors {
public:
    explicit SpareDescriptors(int spare);
    SpareDescriptors(const SpareDescriptors&) = delete;
    SpareDescriptors& operator=(const SpareDescriptors&) = delete;
    ~SpareDescriptors();

private:
    rlimit saved_{};
};

}  // namespace testing_support
