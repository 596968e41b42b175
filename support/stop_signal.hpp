// SIGINT and SIGTERM as a request to stop: the run stops sending, lets what is in flight end,
// closes its report and exits with 128 plus the signal's number. A second signal ends the process
// at once, as the default action would.
#pragma once

namespace resq {

/// Installs the handlers; system calls that the signal interrupts are restarted, except waits
/// (poll, epoll_wait, nanosleep), which return early so that the run sees the request soon.
void catch_stop_signals();

/// The signal that asked the run to stop, 0 while none has.
int stop_signal();

}  // namespace resq
