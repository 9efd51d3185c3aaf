#pragma once
// Running the main thread's run loop in a test until something has happened.

#include <chrono>
#include <functional>

namespace testing_support {

// Runs RunLoop::main() until the condition holds (checked at least every 10 ms) or the time is
// up; the condition's last answer.
bool run_main_loop_until(const std::function<bool()>& condition,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Runs RunLoop::main() for that long.
void run_main_loop_for(std::chrono::milliseconds duration);

}  // namespace testing_support
