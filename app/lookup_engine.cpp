#include "app/lookup_engine.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <span>
#include <utility>
#include <variant>

#include "app/progress.hpp"
#include "dns/edns_options.hpp"
#include "dns/query_builder.hpp"
#include "dns/record_types.hpp"
#include "dns/reply_decoder.hpp"
#include "report/report_exchange.hpp"
#include "support/held_flush_buffer.hpp"
#include "support/random_pool.hpp"
#include "support/stop_signal.hpp"

namespace resq {

namespace {

// Descriptors kept for what is not a lookup's socket: the standard streams, the results and
// evidence files, the event loop, and whatever the process was started with.
constexpr rlim_t reserved_descriptors = 32;

// What an ended attempt costs beside its messages (the records of the attempt and its lookup),
// counted against the budget so that a flood of small replies is bounded too.
constexpr std::size_t attempt_overhead = 512;

// The shortest wait for the next send under -rate: at high rates a wake-up sends the few that
// are due together (the schedule keeps the rate) instead of waking for every send.
constexpr std::chrono::microseconds pacing_granularity{100};

// Sends made between two looks at the replies already waiting: a burst of many sends never
// leaves the replies that came meanwhile unread.
constexpr int sends_between_reads = 32;

// RFC 7873 4.1: the client cookie is 8 bytes.
constexpr std::size_t client_cookie_size = 8;

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

attempt_plan::attempt_plan(const input_params& options)
    : target_{options.server_endpoint,
              options.server,
              options.timeout,
              options.tls                   ? transport::tls
              : !options.https_text.empty() ? transport::https
              : options.tcp                 ? transport::tcp
                                            : transport::udp,
              !options.pcap_path.empty(),
              nullptr,
              options.source_endpoint},
      tcp_fallback_(options.tcp_fallback),
      allowed_(int64_t{options.retries} + 1) {}

attempt_plan::step attempt_plan::after(const dns_exchange& attempt, bool success) {
    ++made_;
    replied_ = attempt.received_size != 0;
    last_status_ = attempt_status(attempt);
    last_rcode_ = replied_ && attempt.header.qr ? std::optional<uint16_t>(attempt.header.full_rcode)
                                                : std::nullopt;
    // A message that is no response is no truncated reply.
    if (tcp_fallback_ && target_.kind == transport::udp && attempt.header.qr && attempt.header.tc) {
        target_.kind = transport::tcp;
        ++allowed_;
        return {.another = true, .fallback = true, .same_server = true};
    }
    return {.another = !success && made_ < allowed_, .delay_first = !success};
}

// One lookup of the window: its query, its plan of attempts, the attempt in flight and where it
// went, and the attempts that ended, kept until the lookup's turn to be written.
struct lookup_engine::lookup {
    struct ended_exchange {
        dns_exchange exchange;
        dns_record query;  // as sent: the query time is the attempt's
        transport kind;
        uint64_t number;
        bool undecoded;      // held as received bytes; decoded again when written
        std::size_t server;  // in the engine's server pool
    };

    lookup(uint64_t input_line, const dns_record& built, std::string ascii,
           const input_params& options)
        : line(input_line), query(built), name_ascii(std::move(ascii)), plan(options) {}

    uint64_t line;
    dns_record query;
    std::string name_ascii;
    attempt_plan plan;
    exchange_target target;  // of the attempt in flight
    std::size_t server = 0;  // the server of the attempt in flight, or of the last one
    std::size_t wanted = 0;  // the server the next attempt is meant for
    bool pinned = false;     // the next attempt goes to `wanted` even while it rests
    dns_exchange current;
    std::vector<ended_exchange> ended;
    std::size_t held = 0;  // bytes counted against the budget
    bool in_flight = false;
    bool done = false;
    bool left_out = false;  // stopped with an attempt in flight: not written
};

lookup_engine::lookup_engine(record_writer& writer, const input_params& options,
                             const run_hooks& hooks, bool batch, clock_function now)
    : writer_(writer),
      options_(options),
      hooks_(hooks),
      batch_(batch),
      servers_(options.servers.empty()
                   ? std::vector<server_entry>{{options.server, options.server_endpoint, {}}}
                   : options.servers),
      capacity_(lookups_that_fit(std::max<std::size_t>(options.inflight, 1))),
      loop_(std::move(now)) {
    if (options.cookie) {
        // RFC 7873 4.1: a client cookie of its own for each server.
        cookies_.assign(servers_.size(), std::vector<uint8_t>(client_cookie_size));
        if (!std::ranges::all_of(cookies_,
                                 [](std::vector<uint8_t>& c) { return fill_random(c); })) {
            print_error("prob drawing a client cookie: sending none\n");
            cookies_.clear();
        }
    }
    for (std::size_t index = 0; index < servers_.size(); ++index) {
        shown_.emplace_back(servers_.at(index).address);
    }
    if (options.tls || !options.https_text.empty()) {
        open_sessions();
    }
    // What the report holds before the first row (its header) leaves as rows do, soon.
    if (hooks_.held_report != nullptr) {
        rows_held_since_ = loop_.now();
    }
}

lookup_engine::~lookup_engine() = default;

void lookup_engine::open_sessions() {
    const bool http = !options_.https_text.empty();
    secure_ = std::make_unique<secure_context>(
        secure_settings{options_.tls_ca, options_.tls_insecure, http});
    if (!secure_->ready()) {
        print_error("tls: cannot read the trusted authorities%s%s\n",
                    options_.tls_ca.empty() ? "" : " of ", options_.tls_ca.c_str());
    }
    if (options_.tls_insecure) {
        print_error("tls: server certificates are not verified (-tls_insecure)\n");
    }
    // A URL naming its host by name names the certificate too; an address needs -tls_name.
    endpoint literal;
    const bool host_is_name = http && !parse_endpoint(options_.https.host, 0, literal);
    for (std::size_t index = 0; index < servers_.size(); ++index) {
        const server_entry& server = servers_.at(index);
        secure_server where{server.address, server.tls_name, options_.https.authority,
                            options_.https.path, options_.https_get};
        if (where.tls_name.empty()) {
            where.tls_name = host_is_name ? options_.https.host : options_.tls_name;
        }
        sessions_.push_back(std::make_unique<secure_session>(
            *secure_, http ? transport::https : transport::tls, std::move(where)));
    }
}

lookup_engine::lookup& lookup_engine::at(uint64_t token) {
    return *window_[static_cast<std::size_t>(token - first_token_)];
}

bool lookup_engine::room_for_lookup(clock::time_point now, clock::time_point& wake) const {
    // Room for one more lookup in flight, and for one more that waits to be written: a slow
    // lookup holds back at most `capacity_` that have ended. Past the budget, the head must be
    // written first.
    if (active_ >= capacity_ || window_.size() >= 2 * capacity_ ||
        (held_bytes_ >= held_bytes_budget && !window_.empty())) {
        return false;
    }
    if (next_start_ && *next_start_ > now) {
        wake = std::min(wake, *next_start_);
        return false;
    }
    return true;
}

bool lookup_engine::has_room() {
    const clock::time_point now = loop_.now();
    wake_delayed(now);
    clock::time_point wake = clock::time_point::max();
    return !stopping_ && room_for_lookup(now, wake);
}

bool lookup_engine::add(uint64_t line, const dns_record& query, std::string name_ascii) {
    while (!stopping_ && writer_.good()) {
        const clock::time_point now = loop_.now();
        wake_delayed(now);
        clock::time_point wake = clock::time_point::max();
        if (room_for_lookup(now, wake)) {
            break;
        }
        run_once(wake);
    }
    if (stopping_ || !writer_.good()) {
        return false;
    }
    const clock::time_point now = loop_.now();
    window_.push_back(std::make_unique<lookup>(line, query, std::move(name_ascii), options_));
    lookup& entry = *window_.back();
    entry.wanted = next_server_;
    next_server_ = (next_server_ + 1) % servers_.size();
    if (!entry.plan.any()) {
        end_lookup(entry, now);
        write_ended(now);
        return writer_.good();
    }
    ++active_;
    if (options_.delay > std::chrono::milliseconds::zero() && capacity_ > 1) {
        next_start_ = now + options_.delay;
    }
    make_due(first_token_ + window_.size() - 1, now);
    start_due(now);
    return writer_.good();
}

bool lookup_engine::finish() {
    while (!window_.empty() && writer_.good()) {
        run_once(clock::time_point::max());
    }
    release_rows(loop_.now(), true);
    report_evidence_left_out();
    return writer_.good();
}

void lookup_engine::report_evidence_left_out() const {
    if (evidence_room_.left_out != 0) {
        print_error("pcap: %llu messages passed over were not captured: too many waited at once\n",
                    static_cast<unsigned long long>(evidence_room_.left_out));
    }
}

void lookup_engine::run_for(std::chrono::nanoseconds wait, int input) {
    if (input != -1) {
        loop_.wake_on_readable(input);
    }
    const clock::time_point now = loop_.now();
    run_once(now + std::chrono::duration_cast<clock::duration>(wait));
}

void lookup_engine::make_due(uint64_t token, clock::time_point now) {
    // Time with nothing to send earns the pacer no credit: after it the sends are spread again.
    if (due_.empty() && hooks_.pacer != nullptr) {
        hooks_.pacer->rest(now);
    }
    due_.push_back(token);
}

void lookup_engine::start_due(clock::time_point now) {
    std::vector<ended_attempt> ready;
    int sent = 0;
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
        entry.target = entry.plan.target();
        entry.target.room = &evidence_room_;
        if (!entry.pinned) {
            entry.server = servers_.pick(entry.wanted, now);
        }
        entry.target.server = servers_.at(entry.server).address;
        entry.target.server_text = servers_.at(entry.server).text;
        entry.target.session = sessions_.empty() ? nullptr : sessions_[entry.server].get();
        entry.in_flight = true;
        // Each attempt carries the latest server cookie, learned maybe after the query was built.
        if (!cookies_.empty()) {
            set_query_cookie(entry.query, cookies_[entry.server]);
        }
        loop_.start(token, entry.current, entry.query, entry.target);
        if (++sent % sends_between_reads == 0) {
            ready.clear();
            loop_.poll(ready);
            now = loop_.now();
            for (const ended_attempt& ended : ready) {
                end_attempt(ended.token, ended.success, now);
            }
        }
    }
}

void lookup_engine::run_once(clock::time_point until) {
    clock::time_point now = loop_.now();
    wake_delayed(now);
    start_due(now);
    // A lookup that ended while waiting out its delay is written before any wait.
    write_ended(now);
    clock::time_point wake = until;
    if (!delayed_.empty()) {
        wake = std::min(wake, delayed_.front().when);
    }
    if (!resting_.empty()) {
        wake = std::min(wake, resting_.front());
    }
    if (!due_.empty() && hooks_.pacer != nullptr && !stopping_) {
        wake = std::min(wake, std::max(hooks_.pacer->next_slot(now), now + pacing_granularity));
    }
    if (rows_held_since_) {
        wake = std::min(wake, *rows_held_since_ + held_rows_limit);
    }
    // With nothing in flight or waiting for its time, only the caller's own time limit is left.
    const bool idle = loop_.in_flight() == 0 && delayed_.empty() && resting_.empty() &&
                      due_.empty() && !rows_held_since_;
    if (idle && wake == clock::time_point::max()) {
        return;
    }
    ended_.clear();
    loop_.wait(wake, ended_);
    now = loop_.now();
    take_ended(now);
    if (stop_signal() != 0 && !stopping_) {
        stop();
    }
    write_ended(now);
    release_rows(now, false);
}

void lookup_engine::take_ended(clock::time_point now) {
    for (const ended_attempt& ended : ended_) {
        end_attempt(ended.token, ended.success, now);
    }
    ended_.clear();
}

void lookup_engine::end_attempt(uint64_t token, bool success, clock::time_point now) {
    lookup& entry = at(token);
    entry.in_flight = false;
    learn_cookie(entry.current, entry.server);
    record_attempt(hooks_, entry.current, entry.query, entry.target);
    // The messages passed over are in the evidence file now; the report needs only their count.
    for (const passed_over_message& message : entry.current.passed_over) {
        evidence_room_.bytes += message.bytes ? message.bytes->size() : 0;
    }
    std::vector<passed_over_message>().swap(entry.current.passed_over);
    const uint64_t number = entry.plan.number();
    const attempt_plan::step next = entry.plan.after(entry.current, success);
    if (next.another && !stopping_ && hooks_.tally != nullptr) {
        ++(next.fallback ? hooks_.tally->tc_fallbacks : hooks_.tally->retries);
    }
    note_server(entry, next.same_server, now);
    lookup::ended_exchange ended{
        std::move(entry.current), entry.query, entry.target.kind, number, false, entry.server};
    entry.current = dns_exchange{};
    // A lookup behind the head may wait long to be written: its replies wait as the bytes that
    // came, not as decoded records, which can be many times larger.
    if (token != first_token_ && ended.exchange.received_bytes) {
        // Swapped with empty lists, so that their storage goes too, not only their records.
        for (std::vector<dns_record>* records :
             {&ended.exchange.questions, &ended.exchange.answers, &ended.exchange.authority,
              &ended.exchange.additional}) {
            std::vector<dns_record>().swap(*records);
        }
        ended.undecoded = true;
    }
    const std::size_t held =
        ended.exchange.received_size + ended.exchange.sent_size + attempt_overhead;
    entry.held += held;
    held_bytes_ += held;
    entry.ended.push_back(std::move(ended));
    const bool delay = next.delay_first && options_.delay > std::chrono::milliseconds::zero();
    if (next.another && !stopping_) {
        if (delay) {
            delayed_.push_back({now + options_.delay, token, wait_kind::attempt});
        } else {
            make_due(token, now);
        }
        return;
    }
    // The delay follows a failed attempt also when it was the last.
    if (delay && !stopping_) {
        delayed_.push_back({now + options_.delay, token, wait_kind::finish});
        return;
    }
    end_lookup(entry, now);
}

void lookup_engine::learn_cookie(const dns_exchange& attempt, std::size_t server) {
    if (cookies_.empty()) {
        return;
    }
    std::vector<uint8_t>& cookie = cookies_[server];
    // A BADCOOKIE reply (RCODE 23) teaches the cookie as well; it is reported, not retried.
    for (const dns_record& record : attempt.additional) {
        if (record.dns_type != type_opt) {
            continue;
        }
        const rdata_value value = decode_rdata(record);
        const auto* opt = std::get_if<opt_rdata>(&value);
        if (opt == nullptr) {
            continue;
        }
        for (const edns_option& option : opt->options) {
            const edns_option_value decoded = decode_edns_option(option);
            const auto* cookies = std::get_if<cookie_value>(&decoded);
            // A server cookie is only taken along with our own client cookie: anything else
            // may be forged or meant for another client.
            if (cookies != nullptr && !cookies->server.empty() &&
                std::ranges::equal(cookies->client, std::span(cookie).first(client_cookie_size))) {
                cookie.resize(client_cookie_size);
                cookie.insert(cookie.end(), cookies->server.begin(), cookies->server.end());
            }
        }
    }
}

void lookup_engine::note_server(lookup& entry, bool same_server, clock::time_point now) {
    const dns_exchange& attempt = entry.current;
    // Only silence and sockets that could send nothing tell of a server that is gone: any reply,
    // however bad, came from one that is there.
    const row_status status = attempt_status(attempt);
    const server_entry& server = servers_.at(entry.server);
    if (servers_.record(entry.server,
                        status == row_status::timeout || status == row_status::sock_err, now)) {
        print_error("server %s failed %u attempts in a row: resting %lld s\n", server.text.c_str(),
                    failures_before_rest, static_cast<long long>(rest_time.count()));
    }
    if (attempt.failure == exchange_failure::not_bound && !bind_failure_said_) {
        bind_failure_said_ = true;
        print_error(
            "cannot send from source address %s to server %s: not an address of this "
            "host, or in use\n",
            entry.target.source.text(0).c_str(), server.text.c_str());
    }
    entry.pinned = same_server;
    entry.wanted = same_server ? entry.server : (entry.server + 1) % servers_.size();
}

void lookup_engine::wake_delayed(clock::time_point now) {
    while (!delayed_.empty() && delayed_.front().when <= now) {
        const timed_token next = delayed_.front();
        delayed_.pop_front();
        if (next.kind == wait_kind::attempt) {
            make_due(next.token, now);
        } else {
            end_lookup(at(next.token), now);
        }
    }
    while (!resting_.empty() && resting_.front() <= now) {
        resting_.pop_front();
        --active_;
    }
}

void lookup_engine::end_lookup(lookup& entry, clock::time_point now) {
    entry.done = true;
    if (entry.plan.any()) {
        // In a batch the delay follows every name: the lookup keeps its place that long.
        if (batch_ && options_.delay > std::chrono::milliseconds::zero() && !stopping_) {
            resting_.push_back(now + options_.delay);
        } else {
            --active_;
        }
    }
    // A lookup stopped before its first attempt was never made: it has no rows.
    if (hooks_.tally != nullptr && (!entry.ended.empty() || !entry.plan.any())) {
        ++hooks_.tally->lookups;
        hooks_.tally->replied += entry.plan.replied() ? 1u : 0u;
        if (!entry.ended.empty()) {
            hooks_.tally->count_lookup(entry.plan.last_status(), entry.plan.last_rcode());
        }
    }
}

void lookup_engine::stop() {
    stopping_ = true;
    loop_.abandon();
    std::size_t left_out = 0;
    const clock::time_point now = loop_.now();
    for (const std::unique_ptr<lookup>& entry : window_) {
        if (entry->done) {
            continue;
        }
        if (entry->in_flight) {
            // Its attempt in flight would have to be waited for: the lookup is left out, and
            // counts as one without a reply.
            entry->done = true;
            entry->left_out = true;
            ++left_out;
            if (hooks_.tally != nullptr) {
                ++hooks_.tally->lookups;
            }
            continue;
        }
        end_lookup(*entry, now);
    }
    due_.clear();
    delayed_.clear();
    resting_.clear();
    active_ = 0;
    print_error("stopped: %zu lookups in flight left out\n", left_out);
}

void lookup_engine::write_ended(clock::time_point now) {
    bool wrote = false;
    while (!window_.empty() && window_.front()->done) {
        lookup& entry = *window_.front();
        if (!entry.left_out) {
            for (lookup::ended_exchange& ended : entry.ended) {
                dns_exchange& exchange = ended.exchange;
                if (ended.undecoded) {
                    decode_reply(exchange.received_bytes, exchange.reply_time, exchange, true);
                }
                const report_server& shown = shown_[ended.server];
                report_exchange(writer_,
                                {exchange, ended.query, ended.kind, ended.number, entry.line,
                                 shown.address, shown.port, &ended == &entry.ended.back(),
                                 servers_.widest(), entry.name_ascii, options_.tls_insecure});
                wrote = true;
            }
        }
        held_bytes_ -= entry.held;
        window_.pop_front();
        ++first_token_;
    }
    if (wrote && hooks_.held_report != nullptr && !rows_held_since_) {
        rows_held_since_ = now;
    }
}

void lookup_engine::release_rows(clock::time_point now, bool at_once) {
    if (hooks_.held_report == nullptr || !rows_held_since_) {
        return;
    }
    if (at_once || now - *rows_held_since_ >= held_rows_limit) {
        hooks_.held_report->release();
        rows_held_since_.reset();
    }
}

}  // namespace resq
