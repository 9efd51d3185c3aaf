#pragma once
// The monitor's standard streams. Its one output is a line on standard error per network event,
// and whoever started it may have closed a standard descriptor, or may have stopped reading.

#include <string_view>

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

// Writes the line to standard error if it can be taken now, and drops it otherwise: the port
// thread writes it, and a reader that stopped reading must not hold that thread (and with it
// the monitor's shutdown) up. A socket (the journal's stream under systemd) is sent to without
// waiting; anything else is written only when poll says it is writable, which for a pipe means
// room for a line. True when the whole line went out.
bool WriteErrorLine(std::string_view line);

}  // namespace monitor
