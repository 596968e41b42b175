// The accounting of a run, the progress line of a batch and the summary written at its end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "app/input_params.hpp"
#include "app/query_run.hpp"
#include "dns/dns_record.hpp"
#include "report/report_exchange.hpp"
#include "support/log_histogram.hpp"

namespace resq {

/// What a run has done so far, fed by the lookup engine (lookups, attempts) and run_batch (lines).
struct run_tally {
    uint64_t lines_read = 0;
    uint64_t blank_lines = 0;
    uint64_t filtered_lines = 0;
    uint64_t unbuildable_lines = 0;
    uint64_t other_shard_lines = 0;  // -shard: the lines other shards look up
    uint64_t bytes_read = 0;  // of the input (line ends included) or paths of the walk, so far
    uint64_t input_size = 0;  // bytes of the input or paths of the walk in all; 0: unknown
    uint64_t lookups = 0;
    uint64_t replied = 0;  // lookups whose last attempt got a reply
    uint64_t attempts = 0;
    uint64_t timeouts = 0;
    uint64_t discarded = 0;  // messages received that were no reply
    std::map<std::string, uint64_t> rows_by_status;
    std::map<uint16_t, uint64_t> replies_by_rcode;  // of the attempts that got a reply
    std::map<std::string, uint64_t> attempts_by_status;
    // Lookups by how their last attempt ended: its status, and the RCODE of its reply.
    std::map<std::string, uint64_t> lookups_by_status;
    std::map<uint16_t, uint64_t> lookups_by_rcode;
    // What an operator asks next: how many attempts were retries, how many truncated UDP replies
    // were asked again over TCP, and how long replies took.
    uint64_t retries = 0;       // attempts after a failed one of the same lookup
    uint64_t tc_fallbacks = 0;  // attempts over TCP after a truncated UDP reply (-tcp_fallback)
    log_histogram rtt;          // of every reply, in 100-ns units

    /// Counts one ended attempt: its rows by status, as the report chooses them, and its RCODE.
    void count_attempt(const dns_exchange& attempt, const dns_record& query);
    /// Counts one lookup by the status of its last attempt and the RCODE of that reply, if any.
    void count_lookup(row_status status, std::optional<uint16_t> rcode);
};

/// The summary of a batch: lines, skipped lines, lookups (answered or not), attempts, retries and
/// TC fallbacks, rows by status, replies by RCODE, round-trip times (approximate percentiles and
/// the exact largest), time and rate.
std::string summary_text(const run_tally& tally, std::chrono::nanoseconds elapsed);

/// The progress line without control bytes; with the tally's input size the share done and the
/// time left.
std::string progress_text(const run_tally& tally, std::chrono::nanoseconds elapsed);

/// One progress line on a stream, redrawn in place at most ten times a second.
class progress_display {
  public:
    using clock_function = std::function<std::chrono::steady_clock::time_point()>;

    /// Draws on `err`, at the earliest a tenth of a second after it is made.
    progress_display(std::ostream& err, clock_function clock);
    /// Erases the line.
    ~progress_display();
    progress_display(const progress_display&) = delete;
    progress_display& operator=(const progress_display&) = delete;

    /// Redraws the line when a tenth of a second has passed since it was last drawn.
    void update(const run_tally& tally);
    /// Clears the line and puts the cursor at its start; nothing when none is shown.
    void erase();
    /// Erases the line of the display that exists, if any, so that a message starts on a clean
    /// line.
    static void erase_current();

  private:
    std::ostream& err_;
    clock_function clock_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_{};
    std::size_t shown_width_ = 0;
};

/// The accounting, progress line and summary of one batch, as -progress, -quiet and -summary and
/// a terminal on standard error ask for them.
class batch_monitor {
  public:
    /// Decides what is shown; nothing for a run that is no batch.
    batch_monitor(const input_params& options, bool batch);

    /// Makes the hooks feed the accounting (always kept: -exit_status reads it) and the progress
    /// line.
    void attach(run_hooks& hooks);
    /// Erases the progress line and writes the summary to standard error when it is wanted.
    void finish();

    /// What the run has done so far.
    const run_tally& tally() const { return tally_; }

  private:
    run_tally tally_;
    std::optional<progress_display> progress_;
    bool summary_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace resq
