// SIGINT and SIGTERM as a request to stop: the run stops sending, lets what is in flight end,
// closes its report and exits with 128 plus the signal's number. A second signal ends the process
// at once, as the default action would.
#pragma once

namespace resq {

/// Installs the handlers. System calls that the signal interrupts are not restarted: a read of
/// standard input, or the open of a FIFO that waits for its other end, fails with EINTR so that
/// the run sees the request even while it waits there. Callers retry EINTR where waiting on is
/// right (writes, reads of files) and check stop_signal() where it is not.
void catch_stop_signals();

/// The signal that asked the run to stop, 0 while none has.
int stop_signal();

}  // namespace resq
