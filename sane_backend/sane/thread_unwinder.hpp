#pragma once

namespace sane_backend {

// Has glibc load its thread unwinder now, once per process, before libsane starts a thread.
//
// glibc loads the unwinder (a dlopen of libgcc_s and its look-ups) the first time a thread of the
// process ends through pthread_exit or is cancelled, without blocking cancellation. libsane's
// reader threads (sanei_thread: SANE's test device and many others) run with asynchronous
// cancellation and are cancelled at the end of every frame, often while they are in pthread_exit
// themselves: the first one can die inside that dlopen, holding the dynamic loader's locks, and the
// next dlopen or dlclose of the process (sane_exit's among them) then waits for ever. Once the
// unwinder is loaded, pthread_exit and pthread_cancel no longer open anything.
void load_thread_unwinder();

}  // namespace sane_backend
