#pragma once
// The monitor's standard streams. Its one output is a line on standard error per network event,
// and whoever started it may have closed a standard descriptor, or may have stopped reading.

namespace monitor {

// Puts /dev/null on each of descriptors 0 to 2 that is closed, so that no file the monitor opens
// later takes the place of a standard stream (and receives what is written to standard error).
// Call it first, before anything opens a file.
void OpenMissingStandardStreams();

// A write to a pipe or socket whose reader has gone then fails with EPIPE instead of ending the
// process. SIGPIPE gets a handler that does nothing rather than SIG_IGN: a caught signal is back
// at its default after exec, where an ignored one would stay ignored, so the commands the monitor
// runs with system() and the applications it launches still get the default. No mask changes.
void CatchBrokenPipeSignal();

}  // namespace monitor
