#include "monitor/core/quit_signal.hpp"

#include "platform/runloop/run_loop.hpp"

namespace monitor {

void HandleQuitSignal(int) { platform::runloop::request_main_quit(); }

}  // namespace monitor
