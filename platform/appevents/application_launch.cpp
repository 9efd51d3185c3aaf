#include "platform/appevents/application_launch.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/errno_text.hpp"
#include "platform/base/os_status.hpp"
#include "platform/base/unique_fd.hpp"
#include "platform/bundle/bundle.hpp"

namespace platform::appevents {

namespace {

// What the intermediate process and the application report through the status pipe. Records
// are smaller than PIPE_BUF, so each write arrives whole.
struct StatusRecord {
    enum Kind : std::int32_t { Started = 1, IntermediateFailed = 2, ExecFailed = 3 };
    std::int32_t kind;
    std::int32_t value;  // the application's pid, or an errno
};

Error launch_error(const std::string& what, int error_number) {
    const int status = error_number == ENOENT || error_number == ENOTDIR ? os_status::fnfErr
                       : error_number == ENOMEM                          ? os_status::memFullErr
                                                                         : -1;
    return Error{errno_text(what, error_number), status};
}

Result<UniqueFd> memory_file_of(std::span<const std::byte> bytes) {
    UniqueFd file(::memfd_create("launch-parameters", MFD_CLOEXEC));
    if (!file) return launch_error("cannot create the launch parameters file", errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(file.get(), bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return launch_error("cannot write the launch parameters", errno);
        }
        done += static_cast<std::size_t>(written);
    }
    if (::lseek(file.get(), 0, SEEK_SET) != 0) {
        return launch_error("cannot rewind the launch parameters", errno);
    }
    return file;
}

void report(int fd, StatusRecord::Kind kind, int value) noexcept {
    const StatusRecord record{kind, value};
    while (::write(fd, &record, sizeof record) < 0 && errno == EINTR) {
    }
}

// The application's side of the fork, up to exec. Only async-signal-safe calls: the caller may
// have other threads.
[[noreturn]] void become_application(const char* program, char* const argv[], char* const envp[],
                                     int input, int null_device, int status_fd) noexcept {
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    ::sigemptyset(&default_action.sa_mask);
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (signal_number == SIGKILL || signal_number == SIGSTOP) continue;
        ::sigaction(signal_number, &default_action, nullptr);  // the C library's own refuse
    }
    sigset_t empty;
    ::sigemptyset(&empty);
    ::sigprocmask(SIG_SETMASK, &empty, nullptr);

    // Above the standard descriptors first, in case the caller had one of them closed and the
    // files landed there.
    const int high_input = ::fcntl(input, F_DUPFD_CLOEXEC, 3);
    const int high_null = ::fcntl(null_device, F_DUPFD_CLOEXEC, 3);
    if (high_input < 0 || high_null < 0 || ::dup2(high_input, STDIN_FILENO) < 0 ||
        ::dup2(high_null, STDOUT_FILENO) < 0 || ::dup2(high_null, STDERR_FILENO) < 0) {
        report(status_fd, StatusRecord::ExecFailed, errno);
        ::_exit(127);
    }
    // Nothing else of the caller's goes along; the status pipe closes when exec succeeds.
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        // Kernels before 5.11 lack the flag: mark every possible descriptor one by one.
        const long limit = ::sysconf(_SC_OPEN_MAX);
        for (int fd = 3; fd < (limit > 0 ? limit : 1024); ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    ::execve(program, argv, envp);
    report(status_fd, StatusRecord::ExecFailed, errno);
    ::_exit(127);
}

Result<pid_t> launch_with_environment(const std::filesystem::path& bundle_folder,
                                      std::span<const std::byte> launch_parameters,
                                      char* const envp[]);

}  // namespace

Result<pid_t> launch_application(const std::filesystem::path& bundle_folder,
                                 std::span<const std::byte> launch_parameters) {
    return launch_with_environment(bundle_folder, launch_parameters, environ);
}

Result<pid_t> launch_application(const std::filesystem::path& bundle_folder,
                                 std::span<const std::byte> launch_parameters,
                                 std::span<const std::string> environment) {
    std::vector<char*> envp;
    envp.reserve(environment.size() + 1);
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    return launch_with_environment(bundle_folder, launch_parameters, envp.data());
}

namespace {

Result<pid_t> launch_with_environment(const std::filesystem::path& bundle_folder,
                                      std::span<const std::byte> launch_parameters,
                                      char* const envp[]) {
    auto bundle = bundle::Bundle::open(bundle_folder);
    if (!bundle) return bundle.error();
    const auto executable = bundle->executable_path();
    if (!executable) {
        return Error{bundle_folder.string() + " has no executable", os_status::fnfErr};
    }

    // Everything the children need is made here: after fork only async-signal-safe calls.
    auto input = memory_file_of(launch_parameters);
    if (!input) return input.error();
    UniqueFd null_device(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!null_device) return launch_error("cannot open /dev/null", errno);
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0) return launch_error("cannot create a pipe", errno);
    UniqueFd status_read(pipe_ends[0]);
    UniqueFd status_write(pipe_ends[1]);
    std::string program = executable->string();
    char* const argv[] = {program.data(), nullptr};

    const pid_t intermediate = ::fork();
    if (intermediate < 0) return launch_error("cannot fork", errno);
    if (intermediate == 0) {
        // A new session, left at once: the application is orphaned to init (or the nearest
        // subreaper) and the caller reaps only this process.
        if (::setsid() < 0) {
            report(status_write.get(), StatusRecord::IntermediateFailed, errno);
            ::_exit(1);
        }
        const pid_t application = ::fork();
        if (application < 0) {
            report(status_write.get(), StatusRecord::IntermediateFailed, errno);
            ::_exit(1);
        }
        if (application == 0) {
            become_application(program.c_str(), argv, envp, input->get(), null_device.get(),
                               status_write.get());
        }
        report(status_write.get(), StatusRecord::Started, application);
        ::_exit(0);
    }

    status_write.reset();
    pid_t application = -1;
    int failure = 0;
    std::string failed_step;
    StatusRecord record{};
    for (;;) {
        const ssize_t got = ::read(status_read.get(), &record, sizeof record);
        if (got < 0 && errno == EINTR) continue;
        if (got != static_cast<ssize_t>(sizeof record)) break;  // end of file: all ends closed
        if (record.kind == StatusRecord::Started) {
            application = record.value;
        } else {
            failure = record.value;
            failed_step = record.kind == StatusRecord::ExecFailed ? "cannot run " + program
                                                                  : "cannot start a session";
        }
    }
    // Reap the intermediate process; ECHILD when the caller lets the system reap children.
    while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
    }

    if (failure != 0) return launch_error(failed_step, failure);
    if (application < 0) return Error{"the launch of " + program + " reported nothing"};
    return application;
}

}  // namespace

}  // namespace platform::appevents
