#include "tests/support/program_run.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/temp_dir.hpp"

namespace testing_support {

ProgramRun run_to_end(const std::vector<std::string>& argv,
                      const std::map<std::string, std::optional<std::string>>& environment) {
    // Through files, so that neither stream can fill up while the other is read.
    TempDir captured("program-output");
    const auto out_file = captured / "out";
    const auto err_file = captured / "err";
    std::vector<char*> words;
    for (const auto& word : argv) words.push_back(const_cast<char*>(word.c_str()));
    words.push_back(nullptr);
    // Made before forking: between fork and exec only async-signal-safe calls are allowed.
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : environment) {
        if (value) {
            variables[name] = *value;
        } else {
            variables.erase(name);
        }
    }
    std::vector<std::string> settings;
    for (const auto& [name, value] : variables) settings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& setting : settings) envp.push_back(setting.data());
    envp.push_back(nullptr);

    ProgramRun run;
    const pid_t child = ::fork();
    if (child < 0) return run;
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execvpe(words[0], words.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = read_file(out_file);
    run.err = read_file(err_file);
    return run;
}

}  // namespace testing_support
