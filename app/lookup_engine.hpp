// The one lookup engine: a single lookup, a batch one by one and a batch with many lookups in
// flight all run here, on one event loop, so pacing, delays, deadlines, the memory budget, stop
// signals and the tally exist once.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/input_params.hpp"
#include "app/query_run.hpp"
#include "app/server_pool.hpp"
#include "dns/dns_record.hpp"
#include "dns/exchange_loop.hpp"
#include "dns/secure_session.hpp"
#include "report/record_writer.hpp"
#include "report/report_exchange.hpp"
#include "support/send_pacer.hpp"

namespace resq {

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
        bool fallback = false;     // the next attempt asks again over TCP after a truncated reply
        bool same_server = false;  // it goes to the server of this attempt (the TCP fallback)
    };
    /// Takes the end of the attempt just made.
    step after(const dns_exchange& attempt, bool success);

    /// Whether the last attempt got a reply, whatever its status.
    bool replied() const { return replied_; }
    /// The status of the last attempt, and the RCODE of its reply (none without one).
    row_status last_status() const { return last_status_; }
    std::optional<uint16_t> last_rcode() const { return last_rcode_; }

  private:
    exchange_target target_;
    bool tcp_fallback_ = false;
    int64_t allowed_ = 0;  // in 64 bits: the largest -retry value cannot overflow it
    int64_t made_ = 0;
    bool replied_ = false;
    row_status last_status_ = row_status::timeout;
    std::optional<uint16_t> last_rcode_;
};

/// Bytes of received and sent messages the engine holds for lookups that wait to be written.
/// Replies are held as received bytes and decoded again when written, so memory follows this
/// budget, not what servers send; once it is reached no lookup starts until the head of the
/// window is written.
inline constexpr std::size_t held_bytes_budget = std::size_t{64} << 20;

/// Rows written to a file or pipe are let go in blocks: at the latest this long after the first
/// row held (or once 64 KiB are held).
inline constexpr std::chrono::milliseconds held_rows_limit{50};

/// The lookups of a run in a window, in input order: at most N in flight (-inflight), and at most
/// N more that have ended and wait to be written. A lookup is written once it and every lookup
/// before it have ended, so a slow lookup holds back at most N others, and the report equals the
/// one-by-one report apart from ids and times.
///
/// With several servers, lookups take them in turn, each retry the next one, and the TCP fallback
/// the same one; a server that fails failures_before_rest attempts in a row rests (see
/// server_pool), which is said once on standard error.
///
/// -delay keeps its meaning per lookup: it follows every failed attempt, and in a batch every
/// name (its lookup keeps its place among those in flight for that long after it ends); with N
/// above 1 it also spaces the starts of lookups at least that far apart. Attempts go out as -rate
/// allows. A stop signal ends the run at once: lookups with an attempt in flight are left out (and
/// counted on standard error), every other lookup that made an attempt is written.
class lookup_engine {
  public:
    using clock = exchange_loop::clock;
    using clock_function = exchange_loop::clock_function;

    /// Keeps up to options.inflight lookups, fewer when the descriptor limit cannot be raised to
    /// hold their sockets (said once on standard error). `batch`: the delay follows every name.
    lookup_engine(record_writer& writer, const input_params& options, const run_hooks& hooks,
                  bool batch, clock_function now = clock::now);
    ~lookup_engine();
    lookup_engine(const lookup_engine&) = delete;
    lookup_engine& operator=(const lookup_engine&) = delete;

    /// 0 when lookups can be run, else why not (an errno value): take none then.
    int start_error() const { return loop_.error(); }

    /// Takes the lookup of `query` (input line `line`, 0 for a single lookup; `name_ascii`: the
    /// name sent, which JSON shows with -idn), first running the lookups taken until there is
    /// room for it; false when the run is stopping or the report stream failed.
    bool add(uint64_t line, const dns_record& query, std::string name_ascii = {});

    /// Runs every lookup taken to its end and writes it; false when the report stream failed.
    bool finish();

    /// Runs the lookups taken until one of their attempts ends, `wait` has passed (on a test's
    /// clock: handles what is ready and due now) or `input` (a descriptor, -1: none) can be read;
    /// lets held rows go when their time has come.
    void run_for(std::chrono::nanoseconds wait, int input = -1);

    /// Whether add() would take a lookup now, without running the lookups taken first.
    bool has_room();

    /// Whether lookups taken have not all been written, or rows written wait to be let go.
    bool busy() const { return !window_.empty() || rows_held_since_.has_value(); }
    /// Whether a stop signal ended the run.
    bool stopping() const { return stopping_; }
    /// Bytes of messages held for lookups waiting to be written.
    std::size_t held_bytes() const { return held_bytes_; }

  private:
    struct lookup;
    enum class wait_kind : uint8_t { attempt, finish };
    struct timed_token {
        clock::time_point when;
        uint64_t token;
        wait_kind kind;
    };

    // Whether a new lookup may start now; if not, `wake` is lowered to when it may.
    bool room_for_lookup(clock::time_point now, clock::time_point& wake) const;
    // Makes the next attempt of the lookup of `token` due.
    void make_due(uint64_t token, clock::time_point now);
    // Starts the attempts that are due, as the rate allows, reading ready replies between sends.
    void start_due(clock::time_point now);
    // Waits for attempts to end (at most until `until`) and takes what ended.
    void run_once(clock::time_point until);
    // Takes the attempts the loop handed back.
    void take_ended(clock::time_point now);
    // Takes the end of one attempt of the lookup of `token`.
    void end_attempt(uint64_t token, bool success, clock::time_point now);
    // Counts the attempt of `entry` that ended for or against its server (saying when the server
    // starts resting), and chooses the server of the lookup's next attempt.
    void note_server(lookup& entry, bool same_server, clock::time_point now);
    // Moves the lookups whose delay has passed on, and frees the places of names rested.
    void wake_delayed(clock::time_point now);
    // Marks a lookup ended, counting it.
    void end_lookup(lookup& entry, clock::time_point now);
    // Ends the run at a stop signal (see the class comment).
    void stop();
    // Writes the lookups at the head of the window that have ended.
    void write_ended(clock::time_point now);
    // With -cookie: takes the server cookie of a reply from server `server` that echoes the client
    // cookie sent to it.
    void learn_cookie(const dns_exchange& attempt, std::size_t server);
    // Says once on standard error how many messages passed over the evidence file lacks.
    void report_evidence_left_out() const;
    // Lets held rows go when they have been held long enough (or `now_or_never`).
    void release_rows(clock::time_point now, bool at_once);
    lookup& at(uint64_t token);
    // Over TLS and HTTPS: the context of the run and one session for each server.
    void open_sessions();

    record_writer& writer_;
    const input_params& options_;
    const run_hooks& hooks_;
    const bool batch_;
    server_pool servers_;
    std::vector<report_server> shown_;  // each server's address and port, as the rows show them
    std::size_t next_server_ = 0;       // the server of the next lookup's first attempt
    bool bind_failure_said_ = false;
    std::size_t capacity_ = 1;  // lookups in flight at most
    std::size_t active_ = 0;    // lookups taken that have not ended, and names resting
    // Over TLS and HTTPS: each server's connection, shared by the attempts to it.
    std::unique_ptr<secure_context> secure_;
    std::vector<std::unique_ptr<secure_session>> sessions_;
    exchange_loop loop_;
    std::deque<std::unique_ptr<lookup>> window_;  // in input order
    uint64_t first_token_ = 0;                    // the token of window_.front()
    std::deque<uint64_t> due_;                    // lookups whose next attempt may go now
    // Lookups waiting out a delay, by when it ends (the delay is the same for all, so in the
    // order they started waiting).
    std::deque<timed_token> delayed_;
    // When each resting name gives its place back.
    std::deque<clock::time_point> resting_;
    std::optional<clock::time_point> next_start_;  // with -delay and N above 1
    std::vector<ended_attempt> ended_;
    std::size_t held_bytes_ = 0;
    std::optional<clock::time_point> rows_held_since_;
    bool stopping_ = false;
    // The memory the attempts share for the messages they pass over until the evidence file has
    // them.
    evidence_room evidence_room_;
    // With -cookie, one for each server: the client cookie (RFC 7873 4.1), and after it the
    // server cookie last learned from that server; empty without -cookie.
    std::vector<std::vector<uint8_t>> cookies_;
};

}  // namespace resq
