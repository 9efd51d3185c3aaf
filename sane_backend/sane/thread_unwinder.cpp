#include "sane_backend/sane/thread_unwinder.hpp"

#include <pthread.h>

#include <mutex>

namespace sane_backend {

namespace {

extern "C" void* end_through_pthread_exit(void*) { pthread_exit(nullptr); }

}  // namespace

void load_thread_unwinder() {
    static std::once_flag once;
    std::call_once(once, [] {
        pthread_t thread;
        // Without a thread the scan cannot start either; libsane will say so itself.
        if (pthread_create(&thread, nullptr, end_through_pthread_exit, nullptr) == 0) pthread_join(thread, nullptr);
    });
}

}  // namespace sane_backend
