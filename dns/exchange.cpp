#include "dns/exchange.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <span>

#include "dns/reply_decoder.hpp"
#include "dns/wire_reader.hpp"
#include "net/net_socket.hpp"
#include "support/kx_time.hpp"

namespace resq {

namespace {

// Large enough for any UDP datagram, so no reply is ever cut.
constexpr std::size_t receive_capacity = 65536;

// The identifier is written little-endian by the query builder, so it is read back the same way.
uint16_t little_endian_id(std::span<const uint8_t> message) {
    wire_reader reader(message);
    const uint16_t low = reader.u8();
    const uint16_t high = reader.u8();
    return static_cast<uint16_t>(high << 8 | low);
}

// Waits until `deadline` for a datagram from `server` (address and port) and returns its size
// (0: none). The socket is not connected, so anyone may write to its port; a datagram from
// elsewhere is dropped and the wait goes on for the time left.
std::size_t receive_reply(net_socket& socket, std::span<uint8_t> buffer, const endpoint& server,
                          net_socket::deadline_clock::time_point deadline) {
    std::size_t size = 0;
    endpoint from;
    while (socket.receive_until(buffer, size, from, deadline)) {
        if (from == server) {
            return size;
        }
    }
    return 0;
}

}  // namespace

bool exchange(dns_exchange& attempt, dns_record& query, const exchange_target& target) {
    attempt.reset();
    if (query.message.empty()) {
        return false;
    }
    const uint16_t query_id = little_endian_id(query.message);

    // Not zero-filled: only the bytes received are ever read, and the bounded reader yields zero
    // for header bytes a short reply lacks. Clearing 64 KiB per attempt was most of the CPU time
    // of a batch run.
    const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[receive_capacity]);
    if (!buffer) {
        return false;
    }

    net_socket socket;
    query.query_time = kx::capture_now().value();
    query.dns_server = target.server_text;

    bool success = false;
    // A server address the socket may not send to (a broadcast address) ends the attempt with
    // nothing sent; so does a target that holds no address.
    if (socket.create(transport::udp, target.server)) {
        attempt.sent_bytes = query.message;
        if (socket.send_to(query.message, target.server)) {
            attempt.sent_size = static_cast<uint32_t>(query.message.size());
            const auto deadline = net_socket::deadline_clock::now() +
                                  std::max(target.timeout, std::chrono::milliseconds(0));
            const std::size_t size =
                receive_reply(socket, {buffer.get(), receive_capacity}, target.server, deadline);
            attempt.received_size = static_cast<uint32_t>(size);
            if (size != 0) {
                const std::span<const uint8_t> reply(buffer.get(), size);
                attempt.received_bytes.assign(reply.begin(), reply.end());
                attempt.reply_time = kx::capture_now().value();
                uint16_t reply_id = 0;
                const std::size_t decoded = decode_reply(
                    target.server_text, attempt.reply_time, reply, reply_id, attempt.questions,
                    attempt.answers, attempt.authority, attempt.additional, true);
                success = decoded != 0 && reply_id == query_id;
            }
        }
    }
    socket.close();
    return success;
}

}  // namespace resq
