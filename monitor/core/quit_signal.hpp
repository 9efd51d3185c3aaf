#pragma once
// The quit request of the monitor: SIGTERM and SIGINT end the application event loop.

namespace monitor {

// Installed with signal() for SIGTERM, then SIGINT. Ignores the signal number and asks the main
// run loop to quit; it only writes to the loop's eventfd, which is safe in a signal handler. No
// signal is blocked, so commands and launched applications keep the default mask.
extern "C" void HandleQuitSignal(int signalNumber);

}  // namespace monitor
