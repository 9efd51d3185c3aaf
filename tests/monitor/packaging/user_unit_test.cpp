// The user unit as `cmake --install` puts it down, checked by `systemd-analyze --user verify`
// with a private runtime folder: the program it starts must be where the unit says, so the
// check runs in a view where the installed prefix stands at its real place.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/errno_text.hpp"
#include "tests/support/child_processes.hpp"
#include "tests/support/isolated_environment.hpp"
#include "tests/support/temp_dir.hpp"

extern char** environ;

namespace {

struct ProgramRun {
    std::string exit;
    std::string output;  // standard output and error together
};

// Runs the program (found through PATH) with the environment given and waits for it.
ProgramRun RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& outputFile,
                      const std::vector<std::string>& environment) {
    std::vector<char*> args;
    for (const auto& argument : argv) args.push_back(const_cast<char*>(argument.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t child = -1;
    const int spawned =
        ::posix_spawnp(&child, args[0], &actions, nullptr, args.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {"not started: " + platform::errno_text(spawned), ""};
    const auto status = testing_support::wait_for_exit(child, std::chrono::seconds(60));
    ProgramRun run;
    if (!status) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        run.exit = "still running";
    } else {
        run.exit = WIFEXITED(*status) ? "exit " + std::to_string(WEXITSTATUS(*status)) : "killed";
    }
    run.output = testing_support::read_file(outputFile);
    return run;
}

std::vector<std::string> OwnEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) entries.emplace_back(*entry);
    return entries;
}

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const auto end = std::min(folders.find(':', start), folders.size());
        if (::access((folders.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

TEST(UserUnit, TheInstalledUnitPassesSystemdsOwnCheck) {
    if (!OnPath("systemd-analyze"))
        GTEST_SKIP() << "systemd-analyze is not installed (Debian package systemd)";
    if (!OnPath("bwrap")) GTEST_SKIP() << "bubblewrap is not installed (scripts/install-deps.sh)";
    if (!std::filesystem::is_directory(INSTALL_PREFIX)) {
        GTEST_SKIP() << INSTALL_PREFIX
                     << " does not exist on this machine, so no view can show the "
                     << "installation there";
    }
    testing_support::IsolatedEnvironment env;
    const auto destdir = env.base() / "destdir";
    std::vector<std::string> environment = OwnEnvironment();
    environment.push_back("DESTDIR=" + destdir.string());
    const ProgramRun install = RunProgram({CMAKE_PROGRAM, "--install", BUILD_FOLDER},
                                          env.base() / "install.log", environment);
    ASSERT_EQ(install.exit, "exit 0") << install.output;

    const std::filesystem::path unitPath =
        std::string(USER_UNIT_FOLDER) + "/button-monitor.service";
    const auto installedUnit = destdir / unitPath.relative_path();
    ASSERT_TRUE(std::filesystem::exists(installedUnit)) << installedUnit;
    const std::string unit = testing_support::read_file(installedUnit);
    EXPECT_NE(unit.find("\nType=notify\n"), std::string::npos) << unit;
    EXPECT_NE(unit.find("\nExecStart=" INSTALL_BINDIR "/button-monitor\n"), std::string::npos)
        << unit;
    EXPECT_NE(unit.find("\nWantedBy=default.target\n"), std::string::npos) << unit;

    // The installed prefix over the real one, everything else as it is.
    const ProgramRun verify = RunProgram(
        {"bwrap", "--dev-bind", "/", "/", "--bind",
         (destdir / std::filesystem::path(INSTALL_PREFIX).relative_path()).string(), INSTALL_PREFIX,
         "--", "systemd-analyze", "--user", "verify", installedUnit.string()},
        env.base() / "verify.log", OwnEnvironment());
    EXPECT_EQ(verify.exit, "exit 0") << verify.output;
    EXPECT_EQ(verify.output, "") << "systemd has nothing to say about the unit";
}

}  // namespace
