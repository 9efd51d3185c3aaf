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

// Writes the line to standard error, waiting a little for a reader that is behind, and drops it
// when the reader does not catch up: the port thread writes it, and a reader that stopped
// reading must not hold that thread (and with it the monitor's shutdown) up. Once a line is
// dropped the following ones do not wait until one goes out again; the journal is told when
// lines begin to be dropped and when they are taken again. The stream's own flags are left as
// they are (the commands the monitor runs share them). True when the whole line went out.
bool WriteErrorLine(std::string_view line);

}  // namespace monitor
