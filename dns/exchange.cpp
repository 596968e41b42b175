#include "dns/exchange.hpp"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"

namespace resq {

namespace {

// The first question follows the fixed 12-byte header.
constexpr uint32_t question_offset = 12;

// Reads handled per readiness of a datagram socket, so that a socket that keeps failing cannot
// hold the caller; what is left waits for the next readiness.
constexpr int reads_per_wake = 64;

// The two bytes in front of every message on a stream: its length, most significant first.
constexpr std::size_t length_prefix = 2;

message_key key_of(std::span<const uint8_t> message) {
    message_key key;
    wire_reader header(message);
    // Compared as the two raw bytes, whatever order the identifier was written in.
    const std::array<uint8_t, 2> id = {header.u8(), header.u8()};
    if (!header.failed()) {
        key.id = id;
    }
    header.skip(2);  // flags
    const uint16_t question_count = header.u16();
    if (header.failed() || question_count == 0) {
        return key;
    }
    message_key::question_key question;
    const std::size_t name_size = decode_name(message, question_offset, question.name);
    if (name_size == 0) {
        return key;
    }
    wire_reader fields(message, question_offset + name_size);
    question.type = fields.u16();
    question.dns_class = fields.u16();
    if (!fields.failed()) {
        key.question = std::move(question);
    }
    return key;
}

bool same_question(const message_key::question_key& a, const message_key::question_key& b) {
    // Servers may answer in other letter case (RFC 4343), so names compare without it.
    const auto same_letter = [](char x, char y) { return ascii_lower(x) == ascii_lower(y); };
    return a.type == b.type && a.dns_class == b.dns_class &&
           std::ranges::equal(a.name, b.name, same_letter);
}

// Whether a message of key `reply` may answer the query of key `asked`: what both hold agrees.
bool answers(const message_key& asked, const message_key& reply) {
    return (!asked.id || !reply.id || *asked.id == *reply.id) &&
           (!asked.question || !reply.question || same_question(*asked.question, *reply.question));
}

}  // namespace

void pending_exchange::start(dns_exchange& attempt, dns_record& query,
                             const exchange_target& target) {
    attempt.reset();
    attempt.server = target.server_text;
    attempt_ = &attempt;
    query_ = &query;
    success_ = false;
    unreachable_ = false;
    kind_ = target.kind;
    state_ = phase::connecting;
    stream_bytes_.clear();
    stream_done_ = 0;
    const std::span<const uint8_t> message = query.bytes();
    if (message.empty()) {
        finish(exchange_failure::not_sent);
        return;
    }
    message_key asked = key_of(message);
    socket_kept_ = can_keep(asked, target);
    asked_ = std::move(asked);
    query.query_time = kx::capture_now().value();
    const auto timeout = std::max(target.timeout, std::chrono::milliseconds(0));
    if (kind_ == transport::tcp) {
        socket_.close();
        // One deadline covers connecting, sending and the whole reply.
        deadline_ = clock::now() + timeout;
        if (message.size() > UINT16_MAX || !socket_.create(transport::tcp, target.server)) {
            finish(exchange_failure::not_sent);
            return;
        }
        bool in_progress = false;
        if (!socket_.connect_to(target.server, in_progress)) {
            finish(errno == ECONNREFUSED ? exchange_failure::connection_refused
                                         : exchange_failure::no_connection);
            return;
        }
        if (!in_progress) {
            start_stream();
        }
        return;
    }
    // A connected datagram socket takes datagrams from the server's address and port alone, so
    // nothing another host sends, and no reply to another lookup's socket, ever reaches it. A
    // server address it may not send to (a broadcast address) ends the attempt with nothing sent.
    attempt.sent_bytes = query.message;
    if (!socket_kept_) {
        bool in_progress = false;
        if (!socket_.create(transport::udp, target.server) ||
            !socket_.connect_to(target.server, in_progress)) {
            finish(exchange_failure::not_sent);
            return;
        }
        peer_ = target.server;
        local_ = socket_.local_endpoint();
    }
    std::size_t sent = 0;
    if (!socket_.send_some(message, sent) || sent != message.size()) {
        finish(exchange_failure::not_sent);
        return;
    }
    attempt.sent_size = static_cast<uint32_t>(message.size());
    attempt.local = local_;
    // The wait for the reply starts once the query is sent.
    deadline_ = clock::now() + timeout;
    state_ = phase::reading;
}

bool pending_exchange::can_keep(const message_key& asked, const exchange_target& target) const {
    return keep_socket_ && target.kind == transport::udp && socket_.descriptor() != -1 &&
           peer_ == target.server && asked.question && asked_.question &&
           !same_question(*asked.question, *asked_.question);
}

void pending_exchange::drop_stray(std::span<uint8_t> scratch) {
    std::size_t size = 0;
    for (int read = 0; read < reads_per_wake && socket_.receive_some(scratch, size); ++read) {
    }
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
            if (kind_ == transport::tcp) {
                read_stream();
            } else {
                read_datagrams(scratch);
            }
            return;
        case phase::ended:
            return;
    }
}

void pending_exchange::wait_to_end(std::span<uint8_t> scratch) {
    while (!ended()) {
        if (socket_.wait_ready(events(), deadline_)) {
            on_ready(scratch);
        } else {
            expire();
        }
    }
}

void pending_exchange::expire() {
    switch (state_) {
        case phase::connecting:
            finish(exchange_failure::no_connection);
            return;
        case phase::sending:
            finish(exchange_failure::not_sent);
            return;
        case phase::reading:
            finish(unreachable_ ? exchange_failure::port_unreachable : exchange_failure::timed_out);
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
    attempt_->local = socket_.local_endpoint();
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
    attempt_->failure = exchange_failure::timed_out;
    stream_bytes_.assign(length_prefix, 0);
    stream_done_ = 0;
    state_ = phase::reading;
}

// Nothing but the server writes to the connection, so its first message ends the attempt, whether
// it answers the query or not. A message cut short by a close is no reply.
void pending_exchange::read_stream() {
    std::size_t size = 0;
    const std::span<uint8_t> rest = std::span(stream_bytes_).subspan(stream_done_);
    if (!socket_.receive_some(rest, size)) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            finish(exchange_failure::connection_closed);
        }
        return;
    }
    if (size == 0) {
        finish(exchange_failure::connection_closed);
        return;
    }
    stream_done_ += size;
    if (stream_done_ < stream_bytes_.size()) {
        return;
    }
    if (stream_bytes_.size() == length_prefix) {
        const std::size_t length = wire_reader(stream_bytes_).u16();
        if (length == 0) {
            finish(exchange_failure::empty_message);
            return;
        }
        stream_bytes_.resize(length_prefix + length);
        return;
    }
    const std::span<const uint8_t> reply = std::span(stream_bytes_).subspan(length_prefix);
    take_reply(reply, answers(asked_, key_of(reply)));
}

// Only a datagram that answers the query is taken. One that answers another (a late reply to an
// earlier lookup that used the same port) and an empty one are passed over, and the wait goes on
// for the time left. So is an ICMP error, which anyone could forge: it is only noted, for the
// reason the attempt gives if no reply comes.
void pending_exchange::read_datagrams(std::span<uint8_t> scratch) {
    for (int read = 0; read < reads_per_wake; ++read) {
        std::size_t size = 0;
        if (!socket_.receive_some(scratch, size)) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            unreachable_ = unreachable_ || errno == ECONNREFUSED;
            continue;
        }
        const std::span<const uint8_t> datagram = scratch.first(size);
        if (size != 0 && answers(asked_, key_of(datagram))) {
            take_reply(datagram, true);
            return;
        }
    }
}

void pending_exchange::take_reply(std::span<const uint8_t> reply, bool answers) {
    dns_exchange& attempt = *attempt_;
    attempt.received_size = static_cast<uint32_t>(reply.size());
    attempt.received_bytes =
        std::make_shared<const std::vector<uint8_t>>(reply.begin(), reply.end());
    attempt.reply_time = kx::capture_now().value();
    // A reply to another query is kept for the report, but none of it is decoded; the identifier
    // of a reply that answers was matched before it was taken.
    success_ =
        answers && decode_reply(attempt.received_bytes, attempt.reply_time, attempt, true) != 0;
    if (success_) {
        finish(exchange_failure::none);
    } else if (!answers) {
        finish(exchange_failure::other_query);
    } else {
        finish(attempt.header.qr ? exchange_failure::malformed : exchange_failure::not_response);
    }
}

void pending_exchange::finish(exchange_failure failure) {
    attempt_->failure = failure;
    state_ = phase::ended;
    stream_bytes_ = {};
    // A datagram socket that carried its query may carry the next one (see keep_socket).
    if (!keep_socket_ || kind_ != transport::udp || attempt_->sent_size == 0) {
        socket_.close();
    }
}

bool exchange(dns_exchange& attempt, dns_record& query, const exchange_target& target,
              pending_exchange& carrier) {
    carrier.start(attempt, query, target);
    if (carrier.ended()) {
        return false;
    }
    // Not zero-filled: only the bytes received are ever read. Clearing 64 KiB per attempt was
    // most of the CPU time of a batch run.
    const std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[receive_capacity]);
    if (!scratch) {
        carrier.expire();
        return false;
    }
    carrier.wait_to_end({scratch.get(), receive_capacity});
    return carrier.success();
}

}  // namespace resq
