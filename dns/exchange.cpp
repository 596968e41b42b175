#include "dns/exchange.hpp"

#include <arpa/inet.h>
#include <sys/socket.h>

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

// Waits until `deadline` for a datagram from the server's address and port 53 and returns its
// size (0: none). The socket is not connected, so anyone may write to its port; a datagram from
// elsewhere is dropped and the wait goes on for the time left.
std::size_t receive_from_server(net_socket& socket, uint8_t* buffer,
                                uint32_t server_address_network_order,
                                net_socket::deadline_clock::time_point deadline) {
    const uint32_t server_address = ntohl(server_address_network_order);
    for (;;) {
        // Preset to values no sender can have, so a failed read never passes for the server.
        uint32_t from_address = 0;
        uint32_t from_port = 0;
        const std::size_t size =
            socket.recv_until(buffer, receive_capacity, from_address, from_port, deadline, true);
        if (from_address == server_address && from_port == dns_port) {
            return size;
        }
        if (size == 0 && from_address == 0) {
            return 0;  // the deadline passed, or the socket failed
        }
    }
}

}  // namespace

bool exchange(dns_exchange& attempt, dns_record& query, const std::string& server,
              int32_t timeout_secs, bool ipv6) {
    static_cast<void>(ipv6);  // accepted for the option record's sake; the transport is IPv4 only
    attempt.reset();
    attempt.server = server;
    if (server.empty() || query.bytes().empty()) {
        return false;
    }
    const uint16_t query_id = little_endian_id(query.bytes());

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
    if (socket.create(1, AF_INET)) {
        // No name resolution here: a text that is not a dotted address becomes 255.255.255.255,
        // which an ordinary socket may not send to, so the attempt ends with nothing sent.
        const uint32_t address = inet_addr(server.c_str());
        attempt.sent_bytes = query.message;
        const std::span<const uint8_t> message = query.bytes();
        if (socket.send_to(message.data(), message.size(), address, dns_port)) {
            attempt.sent_size = static_cast<uint32_t>(message.size());
            const auto deadline = net_socket::deadline_clock::now() +
                                  std::chrono::seconds(timeout_secs < 0 ? 0 : timeout_secs);
            const std::size_t size = receive_from_server(socket, buffer.get(), address, deadline);
            attempt.received_size = static_cast<uint32_t>(size);
            if (size != 0) {
                attempt.received_bytes =
                    std::make_shared<const std::vector<uint8_t>>(buffer.get(), buffer.get() + size);
                attempt.reply_time = kx::capture_now().value();
                const std::size_t decoded =
                    decode_reply(attempt.received_bytes, attempt.reply_time, attempt, true);
                success = decoded != 0 && little_endian_id(*attempt.received_bytes) == query_id;
            }
        }
    }
    socket.close();
    return success;
}

}  // namespace resq
