// A program for launch tests to put in a bundle: reports what it was started with to the file
// named by LAUNCH_PROBE_REPORT (written whole, by rename), and copies its standard input next
// to it (<report>.stdin). For each variable named in LAUNCH_PROBE_VARIABLES (separated by
// spaces) the report has a line "env-NAME value", or "unset-NAME" when it is not set.

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

namespace {

bool same_file(int fd, const char* path) {
    struct stat a {};
    struct stat b {};
    return ::fstat(fd, &a) == 0 && ::stat(path, &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

}  // namespace

int main(int argc, char**) {
    const char* report_path = std::getenv("LAUNCH_PROBE_REPORT");
    if (!report_path) return 2;

    std::ostringstream input;
    input << std::cin.rdbuf();
    std::ofstream(std::string(report_path) + ".stdin", std::ios::binary) << input.str();

    std::ostringstream report;
    report << "arguments " << argc - 1 << "\n";
    report << "pid " << ::getpid() << "\n";
    report << "sid " << ::getsid(0) << "\n";
    report << "ppid " << ::getppid() << "\n";
    report << "stdout-null " << same_file(STDOUT_FILENO, "/dev/null") << "\n";
    report << "stderr-null " << same_file(STDERR_FILENO, "/dev/null") << "\n";

    sigset_t blocked;
    ::sigprocmask(SIG_BLOCK, nullptr, &blocked);
    report << "blocked";
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (::sigismember(&blocked, signal_number) == 1) report << " " << signal_number;
    }
    report << "\nignored";
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        struct sigaction action {};
        if (::sigaction(signal_number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
            report << " " << signal_number;
        }
    }
    report << "\nother-fds";
    if (DIR* fds = ::opendir("/proc/self/fd")) {
        while (const dirent* entry = ::readdir(fds)) {
            const int fd = std::atoi(entry->d_name);
            if (entry->d_name[0] == '.' || fd <= 2 || fd == ::dirfd(fds)) continue;
            report << " " << fd;
        }
        ::closedir(fds);
    }
    report << "\n";
    if (const char* names = std::getenv("LAUNCH_PROBE_VARIABLES")) {
        std::istringstream list(names);
        for (std::string name; list >> name;) {
            const char* value = std::getenv(name.c_str());
            report << (value ? "env-" + name + " " + value : "unset-" + name) << "\n";
        }
    }

    const std::string temporary = std::string(report_path) + ".new";
    std::ofstream(temporary) << report.str();
    std::rename(temporary.c_str(), report_path);
    return 0;
}
