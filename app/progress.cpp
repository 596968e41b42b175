#include "app/progress.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <utility>

#include "dns/record_types.hpp"
#include "report/report_exchange.hpp"

namespace resq {

namespace {

// The display that exists, for print_error; a run has at most one.
progress_display* current_display = nullptr;

constexpr auto redraw_interval = std::chrono::milliseconds(100);

double seconds_of(std::chrono::nanoseconds elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

// "m:ss", or "h:mm:ss" from an hour on.
std::string clock_text(double seconds) {
    const auto whole = static_cast<uint64_t>(seconds < 0 ? 0 : seconds);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(whole / 3600),
                      static_cast<unsigned long long>(whole / 60 % 60),
                      static_cast<unsigned long long>(whole % 60));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(whole / 60),
                      static_cast<unsigned long long>(whole % 60));
    }
    return text;
}

// `value` with `decimals` digits after the point.
std::string number_text(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// 100-ns units as milliseconds with three decimals.
std::string rtt_text(uint64_t ticks) {
    return number_text(static_cast<double>(ticks) / 10000.0, 3);
}

double per_second(uint64_t count, std::chrono::nanoseconds elapsed) {
    const double seconds = seconds_of(elapsed);
    return seconds > 0 ? static_cast<double>(count) / seconds : 0.0;
}

}  // namespace

void run_tally::count_attempt(const dns_exchange& attempt, const dns_record& query) {
    ++attempts;
    discarded += attempt.discarded;
    if (attempt.received_size != 0 && attempt.header.qr) {
        ++replies_by_rcode[attempt.header.full_rcode];
    }
    if (attempt.received_size != 0 && query.query_time != 0 &&
        attempt.reply_time >= query.query_time) {
        rtt.add(attempt.reply_time - query.query_time);
    }
    const row_status status = attempt_status(attempt);
    timeouts += status == row_status::timeout ? 1u : 0u;
    ++attempts_by_status[std::string(status_text(status))];
    // The rows the report writes for the attempt, by status.
    for (const row_group& group : attempt_rows(attempt, query)) {
        rows_by_status[std::string(status_text(group.status))] += group.records.size();
    }
}

void run_tally::count_lookup(row_status status, std::optional<uint16_t> rcode) {
    ++lookups_by_status[std::string(status_text(status))];
    if (rcode) {
        ++lookups_by_rcode[*rcode];
    }
}

namespace {

// " KEY COUNT, KEY COUNT\n", or " none\n" for an empty map; keys shown by `name`.
template <typename Key, typename Name>
std::string counts_text(const std::map<Key, uint64_t>& counts, Name name) {
    if (counts.empty()) {
        return " none\n";
    }
    std::string text;
    for (const auto& [key, count] : counts) {
        text += (text.empty() ? " " : ", ") + name(key) + ' ' + std::to_string(count);
    }
    return text + '\n';
}

std::string status_name(const std::string& status) {
    return status;
}

}  // namespace

std::string summary_text(const run_tally& tally, std::chrono::nanoseconds elapsed) {
    std::string text = "lines read: " + std::to_string(tally.lines_read) + '\n';
    text += "lines skipped: " +
            std::to_string(tally.blank_lines + tally.filtered_lines + tally.unbuildable_lines +
                           tally.other_shard_lines) +
            " (" + std::to_string(tally.blank_lines) + " blank, " +
            std::to_string(tally.filtered_lines) + " filtered, " +
            std::to_string(tally.unbuildable_lines) + " unbuildable";
    // Only a run of a split has lines that are another run's.
    if (tally.other_shard_lines != 0) {
        text += ", " + std::to_string(tally.other_shard_lines) + " of other shards";
    }
    text += ")\n";
    text += "lookups: " + std::to_string(tally.lookups) + '\n';
    text += "lookups answered: " + std::to_string(tally.replied) +
            ", unanswered: " + std::to_string(tally.lookups - tally.replied) + '\n';
    text += "lookups by status:" + counts_text(tally.lookups_by_status, status_name);
    text += "lookups by rcode:" + counts_text(tally.lookups_by_rcode, rcode_name);
    text += "attempts: " + std::to_string(tally.attempts) + '\n';
    text += "attempts by status:" + counts_text(tally.attempts_by_status, status_name);
    text += "retries: " + std::to_string(tally.retries) +
            ", tc fallbacks: " + std::to_string(tally.tc_fallbacks) + '\n';
    text += "rows:" + counts_text(tally.rows_by_status, status_name);
    text += "replies:" + counts_text(tally.replies_by_rcode, rcode_name);
    // Messages that reached a lookup's socket and were no reply: spoofing attempts, stale or
    // broken replies. Shown only when there were any.
    if (tally.discarded != 0) {
        text += "discarded: " + std::to_string(tally.discarded) + '\n';
    }
    // Percentiles from the histogram (within 1 %), the largest exact; milliseconds.
    if (tally.rtt.count() == 0) {
        text += "rtt ms: none\n";
    } else {
        text += "rtt ms:";
        for (const auto& [label, fraction] :
             {std::pair{"p50", 0.5}, std::pair{"p90", 0.9}, std::pair{"p99", 0.99}}) {
            text += std::string(" ") + label + ' ' + rtt_text(tally.rtt.quantile(fraction)) + ',';
        }
        text += " max " + rtt_text(tally.rtt.max()) + '\n';
    }
    text += "elapsed: " + number_text(seconds_of(elapsed), 3) + " s, " +
            number_text(per_second(tally.lookups, elapsed), 1) + " names/s\n";
    return text;
}

std::string progress_text(const run_tally& tally, std::chrono::nanoseconds elapsed) {
    const uint64_t input_size = tally.input_size;
    const double rate = per_second(tally.lookups, elapsed);
    std::string text = std::to_string(tally.lookups) + " names, " + number_text(rate, 1) + "/s, " +
                       std::to_string(tally.timeouts) + " timeouts, " +
                       clock_text(seconds_of(elapsed));
    if (input_size != 0) {
        const double share =
            std::min(1.0, static_cast<double>(tally.bytes_read) / static_cast<double>(input_size));
        text += ", " + number_text(share * 100, 0) + "% done";
        if (share > 0) {
            text += ", " + clock_text(seconds_of(elapsed) * (1 - share) / share) + " left";
        }
    }
    return text;
}

progress_display::progress_display(std::ostream& err, clock_function clock)
    : err_(err), clock_(std::move(clock)), start_(clock_()), drawn_(start_) {
    current_display = this;
}

progress_display::~progress_display() {
    erase();
    if (current_display == this) {
        current_display = nullptr;
    }
}

void progress_display::update(const run_tally& tally) {
    const auto now = clock_();
    if (now - drawn_ < redraw_interval) {
        return;
    }
    drawn_ = now;
    const std::string text = progress_text(tally, now - start_);
    // Spaces cover what a longer earlier line left.
    const std::size_t pad = shown_width_ > text.size() ? shown_width_ - text.size() : 0;
    err_ << '\r' << text << std::string(pad, ' ') << std::flush;
    shown_width_ = text.size();
}

void progress_display::erase() {
    if (shown_width_ != 0) {
        err_ << '\r' << std::string(shown_width_, ' ') << '\r' << std::flush;
        shown_width_ = 0;
    }
}

void progress_display::erase_current() {
    if (current_display != nullptr) {
        current_display->erase();
    }
}

namespace {

// The size of the input (standard input, or the file of -f) when it is a regular file, for the
// share done; else 0 (unknown).
uint64_t regular_input_size(const std::string& path) {
    struct stat status {};
    const int result = path.empty() || path == "-" ? ::fstat(STDIN_FILENO, &status)
                                                   : ::stat(path.c_str(), &status);
    if (result != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) {
        return 0;
    }
    return static_cast<uint64_t>(status.st_size);
}

}  // namespace

batch_monitor::batch_monitor(const input_params& options, bool batch) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    summary_ = batch && (options.summary || (terminal && !options.quiet));
    if (batch && !options.quiet && (options.progress || terminal)) {
        progress_.emplace(std::cerr, std::chrono::steady_clock::now);
    }
    // A walk's size is known only as it is listed; run_batch keeps it.
    tally_.input_size = options.enumdir_set ? 0 : regular_input_size(options.input_path);
}

void batch_monitor::attach(run_hooks& hooks) {
    hooks.tally = &tally_;
    hooks.progress = progress_ ? &*progress_ : nullptr;
}

void batch_monitor::finish() {
    if (progress_) {
        progress_->erase();
    }
    if (summary_) {
        std::cerr << summary_text(tally_, std::chrono::steady_clock::now() - start_) << std::flush;
    }
}

}  // namespace resq
