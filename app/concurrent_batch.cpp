#include "app/concurrent_batch.hpp"

#include <sys/resource.h>

#include <algorithm>

#include "app/progress.hpp"
#include "report/report_exchange.hpp"
#include "support/held_flush_buffer.hpp"
#include "support/send_pacer.hpp"
#include "support/stop_signal.hpp"

namespace resq {

namespace {

// Descriptors kept for what is not a lookup's socket: the standard streams, the results and
// evidence files, the event loop, and whatever the process was started with.
constexpr rlim_t reserved_descriptors = 32;

// The lookups that can be in flight at once: `wanted`, or as many as the limit on open files
// leaves room for once its soft value is raised as far as the hard one allows.
std::size_t lookups_that_fit(std::size_t wanted) {
    const rlim_t needed = static_cast<rlim_t>(wanted) + reserved_descriptors;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= needed) {
        return wanted;
    }
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
        limit = raised;
    }
    if (limit.rlim_cur >= needed) {
        return wanted;
    }
    const std::size_t fit = limit.rlim_cur > reserved_descriptors + 1
                                ? static_cast<std::size_t>(limit.rlim_cur - reserved_descriptors)
                                : 1;
    print_error("lowering -inflight to %zu: the limit on open files is %llu\n", fit,
                static_cast<unsigned long long>(limit.rlim_cur));
    return fit;
}

}  // namespace

// One lookup of the window: its query, its plan of attempts, the attempt in flight, and the
// attempts that ended, kept until the lookup's turn to be written.
struct concurrent_batch::lookup {
    struct ended_exchange {
        dns_exchange exchange;
        dns_record query;  // as sent: the query time is the attempt's
        transport kind;
        uint64_t number;
    };

    lookup(uint64_t input_line, const dns_record& built, const input_params& options)
        : line(input_line), query(built), plan(options) {}

    uint64_t line;
    dns_record query;
    attempt_plan plan;
    dns_exchange current;
    std::vector<ended_exchange> ended;
    bool done = false;
};

concurrent_batch::concurrent_batch(record_writer& writer, const input_params& options,
                                   const run_hooks& hooks)
    : writer_(writer),
      options_(options),
      hooks_(hooks),
      shown_(options.server_endpoint),
      capacity_(lookups_that_fit(options.inflight)) {}

concurrent_batch::~concurrent_batch() = default;

concurrent_batch::lookup& concurrent_batch::at(uint64_t token) {
    return *window_[static_cast<std::size_t>(token - first_token_)];
}

bool concurrent_batch::add(uint64_t line, const dns_record& query) {
    // Room for one more lookup in flight, and for one more that waits to be written: a slow
    // lookup holds back at most `capacity_` that have ended.
    while ((active_ >= capacity_ || window_.size() >= 2 * capacity_) && !stopping_ &&
           writer_.good()) {
        run_once(clock::time_point::max());
    }
    if (stopping_ || !writer_.good()) {
        return writer_.good();
    }
    window_.push_back(std::make_unique<lookup>(line, query, options_));
    lookup& entry = *window_.back();
    if (!entry.plan.any()) {
        end_lookup(entry);
        write_ended();
        return writer_.good();
    }
    ++active_;
    due_.push_back(first_token_ + window_.size() - 1);
    start_due(clock::now());
    return true;
}

bool concurrent_batch::finish() {
    while (!window_.empty() && writer_.good()) {
        run_once(clock::time_point::max());
    }
    return writer_.good();
}

void concurrent_batch::start_due(clock::time_point now) {
    while (!stopping_ && !due_.empty()) {
        if (hooks_.pacer != nullptr) {
            if (hooks_.pacer->next_slot(now) > now) {
                return;
            }
            hooks_.pacer->take(now);
        }
        const uint64_t token = due_.front();
        due_.pop_front();
        lookup& entry = at(token);
        loop_.start(token, entry.current, entry.query, entry.plan.target());
    }
}

void concurrent_batch::run_once(clock::time_point until) {
    clock::time_point now = clock::now();
    while (!delayed_.empty() && delayed_.front().first <= now) {
        due_.push_back(delayed_.front().second);
        delayed_.pop_front();
    }
    start_due(now);
    clock::time_point wake = until;
    if (!delayed_.empty()) {
        wake = std::min(wake, delayed_.front().first);
    }
    if (!due_.empty() && hooks_.pacer != nullptr && !stopping_) {
        wake = std::min(wake, hooks_.pacer->next_slot(now));
    }
    ended_.clear();
    loop_.wait(wake, ended_);
    now = clock::now();
    for (const ended_attempt& ended : ended_) {
        end_attempt(ended.token, ended.success, now);
    }
    if (stop_signal() != 0 && !stopping_) {
        stopping_ = true;
        end_waiting();
    }
    write_ended();
}

void concurrent_batch::end_attempt(uint64_t token, bool success, clock::time_point now) {
    lookup& entry = at(token);
    const exchange_target& target = entry.plan.target();
    record_attempt(hooks_, entry.current, entry.query, target);
    const transport kind = target.kind;
    const uint64_t number = entry.plan.number();
    const attempt_plan::step next = entry.plan.after(entry.current, success);
    entry.ended.push_back({std::move(entry.current), entry.query, kind, number});
    entry.current = dns_exchange{};
    if (next.another && !stopping_ && stop_signal() == 0) {
        if (next.delay_first && options_.delay > std::chrono::milliseconds::zero()) {
            delayed_.emplace_back(now + options_.delay, token);
        } else {
            due_.push_back(token);
        }
        return;
    }
    end_lookup(entry);
}

void concurrent_batch::end_lookup(lookup& entry) {
    entry.done = true;
    active_ -= entry.plan.any() ? 1u : 0u;
    // A lookup stopped before its first attempt was never made: it has no rows.
    if (hooks_.tally != nullptr && (!entry.ended.empty() || !entry.plan.any())) {
        ++hooks_.tally->lookups;
        hooks_.tally->replied += entry.plan.replied() ? 1u : 0u;
    }
}

void concurrent_batch::end_waiting() {
    for (const uint64_t token : due_) {
        end_lookup(at(token));
    }
    for (const auto& [when, token] : delayed_) {
        end_lookup(at(token));
    }
    due_.clear();
    delayed_.clear();
}

void concurrent_batch::write_ended() {
    if (window_.empty() || !window_.front()->done) {
        return;
    }
    while (!window_.empty() && window_.front()->done) {
        const lookup& entry = *window_.front();
        for (const lookup::ended_exchange& ended : entry.ended) {
            report_exchange(writer_, {ended.exchange, ended.query, ended.kind, ended.number,
                                      entry.line, shown_.address, shown_.port});
        }
        window_.pop_front();
        ++first_token_;
    }
    // What was written leaves together: readers of the report see whole lookups soon.
    if (hooks_.held_report != nullptr) {
        hooks_.held_report->release();
    }
}

}  // namespace resq
