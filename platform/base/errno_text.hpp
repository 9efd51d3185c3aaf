#pragma once
// A readable "what: strerror(errno)" message for platform errors. Every failure of a system call
// in the platform layer is described through it, so it also tells the diagnostics when the
// failure was running out of file descriptors (platform/diagnostics/descriptors.hpp).

#include <string>
#include <string_view>

namespace platform {

std::string errno_text(std::string_view what, int error_number);

}  // namespace platform
