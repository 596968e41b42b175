// The program's run: options, report frame, single lookup or batch, exit status.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>

#include "app/input_params.hpp"
#include "dns/dns_record.hpp"
#include "report/pcap_writer.hpp"
#include "report/record_writer.hpp"

namespace resq {

struct run_tally;
class progress_display;

/// Exit status of a completed run (and of help).
inline constexpr int exit_ok = 0;
/// Exit status of every failed run.
inline constexpr int exit_failure = 255;
/// With -exit_status: the exit status of a run where some lookups got no reply.
inline constexpr int exit_some_unanswered = 1;
/// With -exit_status: the exit status of a run where no lookup got a reply.
inline constexpr int exit_none_answered = 2;

/// What the run takes from its surroundings; tests replace the sleep to count delays.
struct run_hooks {
    std::function<void(std::chrono::milliseconds)> sleep;
    /// Waits until standard input, which had nothing to read yet (non-blocking), can be read;
    /// false when it cannot. Unset: such an input counts as a read error.
    std::function<bool()> wait_input;
    /// The evidence file every attempt is written to as it ends; null: none.
    pcap_writer* pcap = nullptr;
    /// The run's accounting, fed by every lookup, attempt and batch line; null: none kept.
    run_tally* tally = nullptr;
    /// The progress line a batch redraws after each line; null: none shown.
    progress_display* progress = nullptr;
};

/// Hooks that sleep for real.
run_hooks system_hooks();

/// The attempt loop of one built query: every attempt is reported, failed attempts are followed
/// by the delay, and the first success ends the loop; with -tcp_fallback a truncated UDP reply is
/// followed by one more attempt over TCP, which uses up no retry. `line` is the batch input line
/// (0 for a single lookup). True when the last attempt got a reply, whatever its status.
bool run_query(record_writer& writer, dns_exchange& attempt, dns_record& query,
               const input_params& options, const run_hooks& hooks, uint64_t line = 0);

/// Writes a message to standard error, after erasing the terminal line when standard error is a
/// terminal; messages over 4096 characters, or that cannot be formatted, are not written.
void print_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Runs the whole program on the process arguments and returns its exit status.
int run(int argc, const char* const* argv, std::istream& input, const run_hooks& hooks);

}  // namespace resq
