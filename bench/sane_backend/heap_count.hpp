#pragma once
// The process's heap in use, counted by a malloc of the measuring program's own that hands every
// call on to glibc's (libsane, libtiff, the backend and the C++ library all allocate through
// it): the bytes in use now, and the most in use since the peak was last reset.

#include <cstddef>

namespace sane_bench {

std::size_t heap_in_use();
std::size_t heap_peak();
void reset_heap_peak();

}  // namespace sane_bench
