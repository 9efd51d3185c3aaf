#pragma once
// Running out of file descriptors: the one failure that says nothing about the step that met it
// and everything about the process (or the system). Reported as the condition
// DESCRIPTORS_EXHAUSTED when a step fails with EMFILE or ENFILE, and ended once a descriptor
// can be had again.

#include <string_view>

namespace platform::diagnostics {

inline constexpr std::string_view descriptors_exhausted = "DESCRIPTORS_EXHAUSTED";

// A step failed with this errno; begins the condition when it means no descriptor was left.
// The step ("cannot open /home/u/.config/...") goes into the entry.
void note_error(int error_number, std::string_view step);

// While the condition is on, takes and gives back one descriptor: when that works, the
// condition ends. Costs nothing while it is off. Call it after work that may have met it.
void check_descriptors();

}  // namespace platform::diagnostics
