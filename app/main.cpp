// resq: asks a DNS server one question at a time and reports every record of the reply.
#include <unistd.h>
#include <csignal>

#include <iostream>

#include "app/query_run.hpp"
#include "support/descriptor_input.hpp"
#include "support/stop_signal.hpp"

int main(int argc, char** argv) {
    // A reader that went away (a closed pipe) must end the run as a failed write, with its message
    // and exit status, not kill it. The socket layer ignores SIGPIPE too, but only from the first
    // lookup on, after the header has already been written.
    std::signal(SIGPIPE, SIG_IGN);
    // The report is written through iostreams only; unsynchronised streams read and write in
    // large blocks, which batch runs of many names depend on.
    std::ios::sync_with_stdio(false);
    // SIGINT and SIGTERM stop the run cleanly: what is in flight ends and the report is closed.
    resq::catch_stop_signals();
    // Standard input is read through a buffer that never holds the run inside a read: while no
    // line has come, the lookups in flight go on, and a stop signal ends the wait.
    resq::descriptor_input input_buffer(STDIN_FILENO);
    std::istream input(&input_buffer);
    resq::run_hooks hooks;
    hooks.input_buffer = &input_buffer;
    return resq::run(argc, argv, input, hooks);
}
