#pragma once
// One diagnostic entry: how urgent it is, a line a person reads, and fields to filter on.

#include <string>
#include <vector>

namespace platform::diagnostics {

// The syslog levels the journal files entries under.
enum class Priority : int { Error = 3, Warning = 4, Notice = 5, Info = 6, Debug = 7 };

// A field name is upper-case letters, digits and '_' (the sink may put a prefix before it).
struct Field {
    std::string name;
    std::string value;
};

struct Entry {
    Priority priority = Priority::Info;
    std::string message;
    std::vector<Field> fields;
    int error_number = 0;  // an errno that goes with the entry, 0 for none
};

}  // namespace platform::diagnostics
