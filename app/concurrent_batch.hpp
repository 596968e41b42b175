// A batch with many lookups in flight at once (-inflight N): each lookup makes its attempts as it
// would alone, on sockets of its own, and the lookups are written in input order.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "app/input_params.hpp"
#include "app/query_run.hpp"
#include "dns/dns_record.hpp"
#include "dns/exchange_loop.hpp"
#include "report/record_writer.hpp"

namespace resq {

/// The lookups of a batch in a window, in input order: at most N in flight, and at most N more
/// that have ended and wait to be written. A lookup is written once it and every lookup before it
/// have ended, so a slow lookup holds back at most N others, and the report equals the one-by-one
/// report apart from ids and times. Attempts go out as -rate allows; the delay after each name is
/// left out, the delay between a lookup's attempts kept. A stop signal ends the sending: what is
/// in flight ends, and every lookup with an attempt is written.
class concurrent_batch {
  public:
    /// Keeps up to options.inflight lookups, fewer when the descriptor limit cannot be raised to
    /// hold their sockets (said once on standard error).
    concurrent_batch(record_writer& writer, const input_params& options, const run_hooks& hooks);
    ~concurrent_batch();
    concurrent_batch(const concurrent_batch&) = delete;
    concurrent_batch& operator=(const concurrent_batch&) = delete;

    /// Takes the lookup of `query` (input line `line`), first running the lookups in flight until
    /// the window has room for it; false when the report stream failed.
    bool add(uint64_t line, const dns_record& query);

    /// Runs every lookup taken to its end and writes it; false when the report stream failed.
    bool finish();

    /// 0 when lookups can be kept in flight, else why not (an errno value): take none then.
    int start_error() const { return loop_.error(); }

    /// Runs the lookups taken until one of their attempts ends or `wait` has passed.
    void run_for(std::chrono::milliseconds wait) { run_once(clock::now() + wait); }
    /// Whether lookups taken have not all been written.
    bool busy() const { return !window_.empty(); }

  private:
    struct lookup;
    using clock = exchange_loop::clock;

    // Starts the attempts that are due, as the rate allows.
    void start_due(clock::time_point now);
    // Waits for attempts to end (at most until `until`) and takes what ended.
    void run_once(clock::time_point until);
    // Takes the end of one attempt of the lookup of `token`.
    void end_attempt(uint64_t token, bool success, clock::time_point now);
    // Writes the lookups at the head of the window that have ended.
    void write_ended();
    // Marks a lookup ended, counting it.
    void end_lookup(lookup& entry);
    // Ends the lookups waiting for an attempt: the run is stopping.
    void end_waiting();
    lookup& at(uint64_t token);

    record_writer& writer_;
    const input_params& options_;
    const run_hooks& hooks_;
    report_server shown_;
    std::size_t capacity_ = 1;  // lookups in flight at most
    std::size_t active_ = 0;    // lookups taken that have not ended
    exchange_loop loop_;
    std::deque<std::unique_ptr<lookup>> window_;  // in input order
    uint64_t first_token_ = 0;                    // the token of window_.front()
    std::deque<uint64_t> due_;                    // lookups whose next attempt may go now
    // Lookups waiting out the delay after a failed attempt, in the order they become due: the
    // delay is the same for all, so the order they started waiting in.
    std::deque<std::pair<clock::time_point, uint64_t>> delayed_;
    std::vector<ended_attempt> ended_;
    bool stopping_ = false;
};

}  // namespace resq
