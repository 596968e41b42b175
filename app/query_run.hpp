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
    /// The limit on attempts sent per second (-rate); null: none.
    send_pacer* pacer = nullptr;
    /// With -inflight: where the report's rows wait, to be let go after each burst of lookups
    /// written; null: every line leaves as the writer flushes it.
    held_flush_buffer* held_report = nullptr;
};

/// Hooks that sleep for real; a stop signal cuts a sleep short.
run_hooks system_hooks();

/// The attempts of one lookup: how many, over which transport, and what follows each. Every
/// attempt is reported; a failed attempt is followed by the delay, and the first success ends the
/// lookup; with -tcp_fallback a truncated UDP reply is followed at once by one more attempt over
/// TCP, which uses up no retry (any retry after it goes over TCP too).
class attempt_plan {
  public:
    explicit attempt_plan(const input_params& options);

    /// Where and how the next attempt goes.
    const exchange_target& target() const { return target_; }
    /// The number of the next attempt, from 1.
    uint64_t number() const { return static_cast<uint64_t>(made_) + 1; }
    /// Whether the lookup makes any attempt: a negative -retry leaves it none.
    bool any() const { return allowed_ > 0; }

    /// What follows an attempt that ended.
    struct step {
        bool another = false;      // an attempt follows
        bool delay_first = false;  // the delay comes after this attempt
    };
    /// Takes the end of the attempt just made.
    step after(const dns_exchange& attempt, bool success);

    /// Whether the last attempt got a reply, whatever its status.
    bool replied() const { return replied_; }

  private:
    exchange_target target_;
    bool tcp_fallback_ = false;
    int64_t allowed_ = 0;  // in 64 bits: the largest -retry value cannot overflow it
    int64_t made_ = 0;
    bool replied_ = false;
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

/// What one lookup after another reuses: the query, the attempt, and the carrier whose socket may
/// carry the next attempt.
struct lookup_state {
    dns_record query;
    dns_exchange attempt;
    pending_exchange carrier;

    lookup_state() { carrier.keep_socket(true); }
};

/// The attempts of one built query (in `state.query`), one after the other (see attempt_plan), each
/// reported as it ends; a stop signal ends the lookup before its next attempt. `line` is the batch
/// input line (0 for a single lookup). True when the last attempt got a reply, whatever its status.
bool run_query(record_writer& writer, lookup_state& state, const input_params& options,
               const run_hooks& hooks, uint64_t line = 0);

/// Writes a message to standard error, after erasing the terminal line when standard error is a
/// terminal; messages over 4096 characters, or that cannot be formatted, are not written.
void print_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// Runs the whole program on the process arguments and returns its exit status.
int run(int argc, const char* const* argv, std::istream& input, const run_hooks& hooks);

}  // namespace resq
