#pragma once
// The process's heap in use, counted by a malloc of the measuring program's own that hands every
// call on to glibc's (libsane, libtiff, the backend and the C++ library all allocate through
// it): the bytes in use now, and the most in use since the peak was last reset. Blocks that code
// in one chosen shared object allocates itself (SANE's test backend) are also counted apart, so
// that what that object leaks can be told from the rest.

#include <cstddef>

namespace sane_bench {

std::size_t heap_in_use();
std::size_t heap_peak();
void reset_heap_peak();

// Counts apart, from now on, the blocks allocated by calls from the code of the shared object
// holding the symbol `inside`.
void count_apart(const void* inside);
// The bytes in use of blocks counted apart, and how many such blocks are in use.
std::size_t apart_in_use();
std::size_t apart_blocks();

}  // namespace sane_bench
