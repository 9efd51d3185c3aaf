#include "tests/tools/twain_host/host_view.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

namespace twain_host_testing {

namespace fs = std::filesystem;

Outcome run(const std::vector<std::string>& command) {
    // Through files, so that neither stream can fill up while the other is read.
    testing_support::TempDir captured("twain-host-output");
    const auto out_file = captured / "out";
    const auto err_file = captured / "err";
    std::vector<char*> argv;
    for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) ::_exit(126);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    Outcome outcome;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = testing_support::read_file(out_file);
    outcome.err = testing_support::read_file(err_file);
    return outcome;
}

std::vector<std::string> lines_of(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream text(testing_support::read_file(file));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::ptrdiff_t find_line(const std::vector<std::string>& lines, const std::string& start,
                         std::ptrdiff_t from) {
    for (auto i = from; i < static_cast<std::ptrdiff_t>(lines.size()); ++i) {
        if (lines[static_cast<std::size_t>(i)].rfind(start, 0) == 0) return i;
    }
    return -1;
}

void HostView::SetUp() {
    if (run({"bwrap", "--ro-bind", "/", "/", "true"}).status != 0) {
        GTEST_SKIP() << "bubblewrap cannot make a private view here";
    }
    fs::create_directories(library_);
    fs::create_directories(twain_folder_ / "velmora");
    fs::copy_file(DATA_SOURCE, data_source());
}

void HostView::install_backend(const fs::path& bundle) const {
    const auto target = library_ / "Printers/Velmora/Frameworks/VelDataSourceBackend.bundle";
    fs::create_directories(target);
    fs::copy(bundle, target, fs::copy_options::recursive);
}

void HostView::configure_sane(const std::vector<std::string>& test_conf,
                              bool with_test_backend) const {
    testing_support::write_file(sane_config_ / "dll.conf", with_test_backend ? "test\n" : "");
    std::string text;
    for (const auto& line : test_conf) text += line + "\n";
    testing_support::write_file(sane_config_ / "test.conf", text);
}

Outcome HostView::run_in_view(const std::vector<std::string>& command, const fs::path& folder,
                              const std::map<std::string, std::string>& environment) const {
    std::vector<std::string> full = {
        "bwrap", "--die-with-parent", "--tmpfs", "/", "--ro-bind", "/usr", "/usr", "--symlink",
        "usr/lib", "/lib", "--symlink", "usr/lib64", "/lib64", "--symlink", "usr/bin", "/bin",
        "--ro-bind", "/etc", "/etc", "--proc", "/proc", "--dev", "/dev", "--tmpfs", "/tmp",
        "--ro-bind", BUILD_TREE, BUILD_TREE, "--bind", temp_.path().string(), temp_.path().string(),
        "--bind", library_.string(), "/Library", "--setenv", "VELMORA_SAMPLE_BACKEND_RECORD",
        record_.string(), "--setenv", "SANE_CONFIG_DIR", sane_config_.string(),
        // Only read by sanitizer builds: whole stacks, so that libsane's own leaks are known.
        "--setenv", "LSAN_OPTIONS",
        "fast_unwind_on_malloc=0:print_suppressions=0:suppressions=" LIBSANE_LEAKS, "--chdir",
        folder.string()};
    for (const auto& [name, value] : environment) {
        full.insert(full.end(), {"--setenv", name, value});
    }
    full.push_back("--");
    full.insert(full.end(), command.begin(), command.end());
    return run(full);
}

}  // namespace twain_host_testing
