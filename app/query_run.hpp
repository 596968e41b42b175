// The program's run: options, report frame, single lookup or batch, exit status.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>

#include "app/input_params.hpp"
#include "dns/dns_record.hpp"
#include "dns/exchange.hpp"
#include "report/pcap_writer.hpp"
#include "report/record_writer.hpp"

namespace resq {

struct run_tally;
class progress_display;
class send_pacer;
class held_flush_buffer;
class descriptor_input;

/// Exit status of a completed run (and of help).
inline constexpr int exit_ok = 0;
/// Exit status of every failed run.
inline constexpr int exit_failure = 255;
/// With -exit_status: the exit status of a run where some lookups got no reply.
inline constexpr int exit_some_unanswered = 1;
/// With -exit_status: the exit status of a run where no lookup got a reply.
inline constexpr int exit_none_answered = 2;

/// A run stopped by SIGINT or SIGTERM exits with this plus the signal's number (130, 143).
inline constexpr int exit_signal_base = 128;

/// What the run takes from its surroundings.
struct run_hooks {
    /// The buffer standard input is read through, whose waits run the lookups in flight; null:
    /// the input never waits (a test's stream).
    descriptor_input* input_buffer = nullptr;
    /// The evidence file every attempt is written to as it ends; null: none.
    pcap_writer* pcap = nullptr;
    /// The run's accounting, fed by every lookup, attempt and batch line; null: none kept.
    run_tally* tally = nullptr;
    /// The progress line a batch redraws after each line; null: none shown.
    progress_display* progress = nullptr;
    /// The limit on attempts sent per second (-rate); null: none.
    send_pacer* pacer = nullptr;
    /// Where the report's rows wait when it goes to a file or pipe, to be let go in blocks; null:
    /// every line leaves as the writer flushes it (a terminal).
    held_flush_buffer* held_report = nullptr;
};

/// Feeds the evidence file and the accounting with an attempt that ended.
void record_attempt(const run_hooks& hooks, const dns_exchange& attempt, const dns_record& query,
                    const exchange_target& target);

/// The server's address without its port, and the port, as the report's rows show them.
struct report_server {
    explicit report_server(const endpoint& server);
    std::string address;
    uint16_t port = 0;
};

/// Writes a message to standard error, after erasing the terminal line when standard error is a
/// terminal; messages over 4096 characters, or that cannot be formatted, are not written.
void print_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Runs the whole program on the process arguments and returns its exit status.
int run(int argc, const char* const* argv, std::istream& input, const run_hooks& hooks);

}  // namespace resq
