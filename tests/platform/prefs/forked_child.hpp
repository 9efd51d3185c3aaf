#pragma once
// Work done by another process: a forked child runs the body and exits with its result, so a
// test can see what a second program sharing the preferences sees. Fork before starting threads.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace testing_support {

template <class Body>
pid_t start_child(Body body) {
    const pid_t pid = ::fork();
    if (pid < 0) std::abort();
    if (pid == 0) ::_exit(body());
    return pid;
}

// The child's exit status; -1 when it did not exit normally.
inline int wait_child(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <class Body>
int run_in_child(Body body) {
    return wait_child(start_child(body));
}

}  // namespace testing_support
