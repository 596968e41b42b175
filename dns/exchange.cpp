#include "dns/exchange.hpp"

#include <algorithm>
#include <array>
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

// Large enough for any UDP datagram, so no reply is ever cut.
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

}  // namespace

bool exchange(dns_exchange& attempt, dns_record& query, const exchange_target& target) {
    attempt.reset();
    attempt.server = target.server_text;
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

    bool success = false;
    // A server address the socket may not send to (a broadcast address) ends the attempt with
    // nothing sent; so does a target that holds no address.
    if (socket.create(transport::udp, target.server)) {
        attempt.sent_bytes = query.message;
        if (socket.send_to(query.bytes(), target.server)) {
            attempt.sent_size = static_cast<uint32_t>(query.bytes().size());
            const auto deadline = net_socket::deadline_clock::now() +
                                  std::max(target.timeout, std::chrono::milliseconds(0));
            const std::size_t size = receive_reply(socket, {buffer.get(), receive_capacity},
                                                   target.server, asked, deadline);
            attempt.received_size = static_cast<uint32_t>(size);
            if (size != 0) {
                attempt.received_bytes =
                    std::make_shared<const std::vector<uint8_t>>(buffer.get(), buffer.get() + size);
                attempt.reply_time = kx::capture_now().value();
                const std::size_t decoded =
                    decode_reply(attempt.received_bytes, attempt.reply_time, attempt, true);
                // The identifier was matched before the reply was taken.
                success = decoded != 0;
            }
        }
    }
    socket.close();
    return success;
}

}  // namespace resq
