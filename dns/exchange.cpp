#include "dns/exchange.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "net/net_socket.hpp"
#include "support/kx_string.hpp"
#include "support/kx_time.hpp"

namespace resq {

namespace {

// Large enough for any UDP datagram and any TCP message (its length is two bytes), so no reply is
// ever cut.
constexpr std::size_t receive_capacity = 65536;

// The first question follows the fixed 12-byte header.
constexpr uint32_t question_offset = 12;

struct question_key {
    std::string name;  // as decode_name gives it
    uint16_t type = 0;
    uint16_t dns_class = 0;
};

// What ties a reply to its query: the identifier bytes and the first question, each present only
// when the message holds it whole.
struct message_key {
    std::optional<std::array<uint8_t, 2>> id;
    std::optional<question_key> question;
};

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
    question_key question;
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

bool same_question(const question_key& a, const question_key& b) {
    // Servers may answer in other letter case (RFC 4343), so names compare without it.
    const auto same_letter = [](char x, char y) { return ascii_lower(x) == ascii_lower(y); };
    return a.type == b.type && a.dns_class == b.dns_class &&
           std::ranges::equal(a.name, b.name, same_letter);
}

// Whether a datagram of key `reply` may answer the query of key `asked`: what both hold agrees.
bool answers(const message_key& asked, const message_key& reply) {
    return (!asked.id || !reply.id || *asked.id == *reply.id) &&
           (!asked.question || !reply.question || same_question(*asked.question, *reply.question));
}

// Waits until `deadline` for the reply to the query of key `asked` from `server` and returns its
// size (0: none). The socket is not connected, so anyone may write to its port, and the port may
// be one an earlier lookup used; a datagram from elsewhere, or that answers another query, is
// dropped and the wait goes on for the time left.
std::size_t receive_reply(net_socket& socket, std::span<uint8_t> buffer, const endpoint& server,
                          const message_key& asked,
                          net_socket::deadline_clock::time_point deadline) {
    std::size_t size = 0;
    endpoint from;
    while (socket.receive_until(buffer, size, from, deadline)) {
        if (from == server && answers(asked, key_of(buffer.first(size)))) {
            return size;
        }
    }
    return 0;
}

// The message an attempt took as its reply: its size at the start of the buffer (0: none), and
// whether it answers the query.
struct taken_reply {
    std::size_t size = 0;
    bool answers = false;
};

net_socket::deadline_clock::time_point deadline_after(std::chrono::milliseconds timeout) {
    return net_socket::deadline_clock::now() + std::max(timeout, std::chrono::milliseconds(0));
}

// The query in one datagram; the wait for its reply starts once it is sent.
taken_reply exchange_datagram(net_socket& socket, dns_exchange& attempt, const dns_record& query,
                              const message_key& asked, std::span<uint8_t> buffer,
                              const exchange_target& target) {
    // A server address the socket may not send to (a broadcast address) ends the attempt with
    // nothing sent; so does a target that holds no address.
    attempt.failure = exchange_failure::not_sent;
    if (!socket.create(transport::udp, target.server)) {
        return {};
    }
    attempt.sent_bytes = query.message;
    if (!socket.send_to(query.bytes(), target.server)) {
        return {};
    }
    attempt.sent_size = static_cast<uint32_t>(query.bytes().size());
    attempt.failure = exchange_failure::timed_out;
    attempt.local = socket.local_endpoint();
    const std::size_t size =
        receive_reply(socket, buffer, target.server, asked, deadline_after(target.timeout));
    return {size, true};  // only a datagram that answers the query is taken
}

// Fills `bytes` from the stream before `deadline`; false when the peer closes first, the read
// fails or the time runs out.
bool read_whole(net_socket& socket, std::span<uint8_t> bytes,
                net_socket::deadline_clock::time_point deadline) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        std::size_t size = 0;
        if (!socket.receive_some_until(bytes.subspan(filled), size, deadline) || size == 0) {
            return false;
        }
        filled += size;
    }
    return true;
}

// The query over a connection of its own (RFC 1035 4.2.2, RFC 7766), each message after its
// length in two bytes, most significant first; one deadline covers connecting, sending and the
// whole reply. Nothing but the server writes to the connection, so its first message ends the
// attempt, whether it answers the query or not. A message cut short by a close or by the
// deadline is no reply.
taken_reply exchange_stream(net_socket& socket, dns_exchange& attempt, const dns_record& query,
                            const message_key& asked, std::span<uint8_t> buffer,
                            const exchange_target& target) {
    const auto deadline = deadline_after(target.timeout);
    const std::span<const uint8_t> message = query.bytes();
    attempt.failure = exchange_failure::not_sent;
    if (message.size() > UINT16_MAX || !socket.create(transport::tcp, target.server)) {
        return {};
    }
    if (!socket.connect_until(target.server, deadline)) {
        attempt.failure = errno == ECONNREFUSED ? exchange_failure::connection_refused
                                                : exchange_failure::no_connection;
        return {};
    }
    attempt.sent_bytes = query.message;
    attempt.local = socket.local_endpoint();
    // Length and message in one write, so that they can leave in one segment (RFC 7766 8).
    std::vector<uint8_t> framed = {static_cast<uint8_t>(message.size() >> 8),
                                   static_cast<uint8_t>(message.size() & 0xff)};
    framed.insert(framed.end(), message.begin(), message.end());
    if (!socket.send_until(framed, deadline)) {
        return {};
    }
    attempt.sent_size = static_cast<uint32_t>(message.size());
    // A read that fails before the deadline met the end of the connection.
    const auto read_failure = [&] {
        return net_socket::deadline_clock::now() < deadline ? exchange_failure::connection_closed
                                                            : exchange_failure::timed_out;
    };
    std::array<uint8_t, 2> length_bytes{};
    if (!read_whole(socket, length_bytes, deadline)) {
        attempt.failure = read_failure();
        return {};
    }
    const std::size_t size = wire_reader(length_bytes).u16();
    if (size == 0) {
        attempt.failure = exchange_failure::empty_message;
        return {};
    }
    if (!read_whole(socket, buffer.first(size), deadline)) {
        attempt.failure = read_failure();
        return {};
    }
    return {size, answers(asked, key_of(buffer.first(size)))};
}

}  // namespace

bool exchange(dns_exchange& attempt, dns_record& query, const exchange_target& target) {
    attempt.reset();
    attempt.server = target.server_text;
    attempt.failure = exchange_failure::not_sent;
    if (query.bytes().empty()) {
        return false;
    }
    const message_key asked = key_of(query.bytes());

    // Not zero-filled: only the bytes received are ever read, and the bounded reader yields zero
    // for header bytes a short reply lacks. Clearing 64 KiB per attempt was most of the CPU time
    // of a batch run.
    const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[receive_capacity]);
    if (!buffer) {
        return false;
    }

    net_socket socket;
    query.query_time = kx::capture_now().value();
    const std::span<uint8_t> space(buffer.get(), receive_capacity);
    const taken_reply reply = target.kind == transport::tcp
                                  ? exchange_stream(socket, attempt, query, asked, space, target)
                                  : exchange_datagram(socket, attempt, query, asked, space, target);

    bool success = false;
    attempt.received_size = static_cast<uint32_t>(reply.size);
    if (reply.size != 0) {
        attempt.received_bytes =
            std::make_shared<const std::vector<uint8_t>>(buffer.get(), buffer.get() + reply.size);
        attempt.reply_time = kx::capture_now().value();
        // A reply to another query is kept for the report, but none of it is decoded; the
        // identifier of a reply that answers was matched before it was taken.
        success = reply.answers &&
                  decode_reply(attempt.received_bytes, attempt.reply_time, attempt, true) != 0;
        if (success) {
            attempt.failure = exchange_failure::none;
        } else if (!reply.answers) {
            attempt.failure = exchange_failure::other_query;
        } else {
            attempt.failure =
                attempt.header.qr ? exchange_failure::malformed : exchange_failure::not_response;
        }
    }
    socket.close();
    return success;
}

}  // namespace resq
