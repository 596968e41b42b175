#include "dns/exchange.hpp"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "dns/reply_check.hpp"
#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "support/kx_time.hpp"

namespace resq {

namespace {

// Reads handled per readiness of a datagram socket, so that a socket flooded with datagrams that
// are no reply cannot hold the loop; what is left waits for the next readiness.
constexpr int reads_per_wake = 64;

// The two bytes in front of every message on a stream: its length, most significant first.
constexpr std::size_t length_prefix = 2;

using kx::wall_clock_ns;

// Nanoseconds since 1970 as a time value of the report.
uint64_t report_time(uint64_t unix_ns) {
    return kx::filetime_of_unix_ns(unix_ns);
}

}  // namespace

void pending_exchange::start(dns_exchange& attempt, dns_record& query,
                             const exchange_target& target, clock::time_point now) {
    attempt.reset();
    attempt.server = target.server_text;
    attempt_ = &attempt;
    query_ = &query;
    success_ = false;
    unreachable_ = false;
    kind_ = target.kind;
    keep_evidence_ = target.keep_evidence;
    room_ = target.room;
    state_ = phase::connecting;
    stream_bytes_.clear();
    stream_done_ = 0;
    const auto timeout = std::max(target.timeout, std::chrono::milliseconds(0));
    // One deadline covers connecting, sending and the whole reply over TCP; over UDP the wait
    // starts once the query is sent, which is at once.
    deadline_ = now + timeout;
    timeout_ns_ = static_cast<uint64_t>(std::chrono::nanoseconds(timeout).count());
    sent_ns_ = wall_clock_ns();
    query.query_time = report_time(sent_ns_);
    const std::span<const uint8_t> message = query.bytes();
    if (message.empty() || message.size() > UINT16_MAX ||
        !socket_.create(target.kind, target.server)) {
        finish(exchange_failure::not_sent);
        return;
    }
    // Bound before connecting, so that the kernel picks a fresh port on the source address.
    if (target.source.family() != AF_UNSPEC && !socket_.bind_to(target.source)) {
        finish(exchange_failure::not_bound);
        return;
    }
    // A connected datagram socket takes datagrams from the server's address and port alone. A
    // server address it may not send to (a broadcast address) ends the attempt with nothing sent.
    bool in_progress = false;
    if (!socket_.connect_to(target.server, in_progress)) {
        if (kind_ == transport::udp) {
            finish(exchange_failure::not_sent);
        } else {
            finish(errno == ECONNREFUSED ? exchange_failure::connection_refused
                                         : exchange_failure::no_connection);
        }
        return;
    }
    if (kind_ == transport::tcp) {
        if (!in_progress) {
            start_stream();
        }
        return;
    }
    attempt.sent_bytes = query.message;
    std::size_t sent = 0;
    if (!socket_.send_some(message, sent) || sent != message.size()) {
        finish(exchange_failure::not_sent);
        return;
    }
    attempt.sent_size = static_cast<uint32_t>(message.size());
    if (keep_evidence_) {
        attempt.local = socket_.local_endpoint();
    }
    state_ = phase::reading;
}

short pending_exchange::events() const {
    return state_ == phase::connecting || state_ == phase::sending ? POLLOUT : POLLIN;
}

void pending_exchange::on_ready(std::span<uint8_t> scratch) {
    switch (state_) {
        case phase::connecting:
            if (const int error = socket_.connect_error(); error != 0) {
                finish(error == ECONNREFUSED ? exchange_failure::connection_refused
                                             : exchange_failure::no_connection);
                return;
            }
            start_stream();
            return;
        case phase::sending:
            send_frame();
            return;
        case phase::reading:
            read_reply(scratch);
            return;
        case phase::ended:
            return;
    }
}

void pending_exchange::read_reply(std::span<uint8_t> scratch) {
    if (kind_ == transport::tcp) {
        read_stream(scratch);
    } else {
        read_datagrams(scratch);
    }
}

void pending_exchange::expire(std::span<uint8_t> scratch) {
    switch (state_) {
        case phase::connecting:
            finish(exchange_failure::no_connection);
            return;
        case phase::sending:
            finish(exchange_failure::not_sent);
            return;
        case phase::reading:
            // A reply already queued is read before the deadline is judged: the loop may come to
            // this socket late, behind many others.
            read_reply(scratch);
            if (state_ != phase::ended) {
                finish(unreachable_ ? exchange_failure::port_unreachable
                                    : exchange_failure::timed_out);
            }
            return;
        case phase::ended:
            return;
    }
}

// The query over a connection of its own (RFC 1035 4.2.2, RFC 7766), its length and the message
// in one write so that they can leave in one segment (RFC 7766 8).
void pending_exchange::start_stream() {
    const std::span<const uint8_t> message = query_->bytes();
    attempt_->sent_bytes = query_->message;
    if (keep_evidence_) {
        attempt_->local = socket_.local_endpoint();
    }
    stream_bytes_ = {static_cast<uint8_t>(message.size() >> 8),
                     static_cast<uint8_t>(message.size() & 0xff)};
    stream_bytes_.insert(stream_bytes_.end(), message.begin(), message.end());
    state_ = phase::sending;
    send_frame();
}

void pending_exchange::send_frame() {
    const std::span<const uint8_t> rest = std::span(stream_bytes_).subspan(stream_done_);
    if (!socket_.send_some(rest, stream_done_)) {
        finish(exchange_failure::not_sent);
        return;
    }
    if (stream_done_ < stream_bytes_.size()) {
        return;  // the socket's buffer is full: wait for room
    }
    attempt_->sent_size = static_cast<uint32_t>(stream_bytes_.size() - length_prefix);
    // From here on the buffer holds what the server sends, and grows only with what arrives, not
    // with what a length prefix promises.
    stream_bytes_.clear();
    state_ = phase::reading;
}

// Reads what the connection holds; every whole message is offered in turn. A message that is no
// reply (another id or question) is passed over and the read goes on until the deadline. A
// message cut short by a close is no reply.
void pending_exchange::read_stream(std::span<uint8_t> scratch) {
    for (int read = 0; read < reads_per_wake && state_ == phase::reading; ++read) {
        std::size_t size = 0;
        if (!socket_.receive_some(scratch, size)) {
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                finish(exchange_failure::connection_closed);
            }
            return;
        }
        if (size == 0) {
            finish(exchange_failure::connection_closed);
            return;
        }
        stream_bytes_.insert(stream_bytes_.end(), scratch.begin(),
                             scratch.begin() + static_cast<std::ptrdiff_t>(size));
        while (state_ == phase::reading && take_stream_message()) {
        }
    }
}

bool pending_exchange::take_stream_message() {
    if (stream_bytes_.size() < length_prefix) {
        return false;
    }
    const std::size_t length = wire_reader(stream_bytes_).u16();
    if (length == 0) {
        keep_passed_over({}, report_time(wall_clock_ns()));
        finish(exchange_failure::empty_message);
        return false;
    }
    if (stream_bytes_.size() < length_prefix + length) {
        return false;
    }
    const std::span<const uint8_t> message =
        std::span(stream_bytes_).subspan(length_prefix, length);
    if (offer(message, report_time(wall_clock_ns()))) {
        return false;
    }
    stream_bytes_.erase(stream_bytes_.begin(), stream_bytes_.begin() + static_cast<std::ptrdiff_t>(
                                                                           length_prefix + length));
    return true;
}

// Only a datagram that is the query's reply is taken; any other (too short, another id or
// question) is counted and passed over, and the wait goes on for the time left. So is an ICMP
// error, which anyone could forge: it is only noted, for the reason the attempt gives if no reply
// comes.
void pending_exchange::read_datagrams(std::span<uint8_t> scratch) {
    for (int read = 0; read < reads_per_wake && state_ == phase::reading; ++read) {
        std::size_t size = 0;
        uint64_t arrived_ns = 0;
        if (!socket_.receive_stamped(scratch, size, arrived_ns)) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            unreachable_ = unreachable_ || errno == ECONNREFUSED;
            continue;
        }
        if (arrived_ns == 0) {
            arrived_ns = wall_clock_ns();
        }
        // Whether a datagram came in time is judged by when it arrived, not when it is read: one
        // that came after the deadline finds the attempt over.
        if (arrived_ns > sent_ns_ + timeout_ns_) {
            keep_passed_over(scratch.first(size), report_time(arrived_ns));
            finish(unreachable_ ? exchange_failure::port_unreachable : exchange_failure::timed_out);
            return;
        }
        offer(scratch.first(size), report_time(arrived_ns));
    }
}

bool pending_exchange::offer(std::span<const uint8_t> message, uint64_t reply_time) {
    dns_exchange& attempt = *attempt_;
    if (check_reply(query_->bytes(), message) != reply_verdict::reply) {
        ++attempt.discarded;
        keep_passed_over(message, reply_time);
        return false;
    }
    attempt.received_size = static_cast<uint32_t>(message.size());
    attempt.received_bytes =
        std::make_shared<const std::vector<uint8_t>>(message.begin(), message.end());
    attempt.reply_time = reply_time;
    success_ = decode_reply(attempt.received_bytes, attempt.reply_time, attempt, true) != 0;
    if (success_) {
        finish(exchange_failure::none);
    } else {
        finish(attempt.header.qr ? exchange_failure::malformed : exchange_failure::not_response);
    }
    return true;
}

void pending_exchange::keep_passed_over(std::span<const uint8_t> message, uint64_t time) {
    if (!keep_evidence_ || room_ == nullptr) {
        return;
    }
    if (message.size() > room_->bytes) {
        ++room_->left_out;
        return;
    }
    room_->bytes -= message.size();
    attempt_->passed_over.push_back(
        {std::make_shared<const std::vector<uint8_t>>(message.begin(), message.end()), time});
}

void pending_exchange::finish(exchange_failure failure) {
    attempt_->failure = failure;
    state_ = phase::ended;
    stream_bytes_ = {};
    // A late or repeated reply now reaches a closed port.
    socket_.close();
}

}  // namespace resq
