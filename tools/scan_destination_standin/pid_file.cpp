#include "tools/scan_destination_standin/pid_file.hpp"

#include <unistd.h>

#include <fstream>
#include <string>

namespace standin {

platform::Result<void> write_pid_file(const std::filesystem::path& path) {
    const auto temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << ::getpid() << '\n';
        out.close();
        if (!out) return platform::Error{"cannot write " + temporary};
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) return platform::Error{"cannot write " + path.string() + ": " + error.message()};
    return {};
}

}  // namespace standin
