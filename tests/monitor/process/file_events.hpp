#pragma once
// What happens to files, seen through one inotify instance, so that events on several watched
// files and folders keep the order in which they happened. Each event becomes a line of text:
//   "<label> created <name>", "<label> removed <name>"   (in a watched folder)
//   "<label> closed"                                     (a watched file was closed)

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace process_test {

class FileEvents {
public:
    FileEvents();
    FileEvents(const FileEvents&) = delete;
    FileEvents& operator=(const FileEvents&) = delete;
    ~FileEvents();

    // mask: IN_CREATE, IN_DELETE, IN_CLOSE_WRITE, IN_CLOSE_NOWRITE. False when it cannot watch.
    bool Watch(const std::filesystem::path& path, std::uint32_t mask, std::string label);
    // Everything reported so far, in order; does not wait.
    const std::vector<std::string>& Seen();

private:
    int fd_;
    std::map<int, std::string> labels_;  // by watch descriptor
    std::vector<std::string> seen_;
};

}  // namespace process_test
