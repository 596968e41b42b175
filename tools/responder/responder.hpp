// A scripted DNS responder for loopback tests, over UDP and TCP on one address and port (and UDP
// on an IPv6 address too): replies come from hand-assembled fixtures and misbehave on request,
// chosen by the query name (the table at the top of fixtures.cpp). A query with an OPT record gets
// that record back in every reply.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

#include "tools/responder/fixtures.hpp"

namespace resq::test_tools {

class responder {
  public:
    responder() = default;
    /// Stops the serving thread, if any, and closes the sockets.
    ~responder();
    responder(const responder&) = delete;
    responder& operator=(const responder&) = delete;

    /// Binds the listening socket on `address`:`port` (0: any free port), a TCP listener on the
    /// same address and port, and the two sockets that misdirected replies leave from: the
    /// address plus one on the same port, and the same address on another port. False, with the
    /// reason in error(), when one cannot be bound.
    bool open(const std::string& address, uint16_t port);

    /// After open(), also listens over UDP on the IPv6 `address` at the same port (the
    /// misdirecting sockets stay IPv4: misdirected replies to a client over IPv6 are not sent).
    /// False, with the reason in error(), when it cannot be bound.
    bool open_ipv6(const std::string& address);

    /// Serves in the calling thread until `stop` is set, or until `limit` queries (0: no limit)
    /// were taken and every reply they called for was sent.
    void serve(const std::atomic<bool>& stop, uint64_t limit = 0);

    /// Serves on a thread of its own until stop() or destruction.
    void start();
    /// Ends the thread of start() and waits for it.
    void stop();

    /// Queries taken so far, answered or not.
    uint64_t queries_seen() const { return queries_seen_.load(); }
    /// The port the last query came from, host byte order.
    uint16_t last_client_port() const { return last_client_port_.load(); }
    /// The port the listening sockets are bound to.
    uint16_t port() const { return port_; }
    /// The listening address, host byte order.
    uint32_t address() const { return address_; }
    /// The address misdirected replies leave from, host byte order.
    uint32_t other_address() const { return other_address_; }
    /// Why open() failed.
    const std::string& error() const { return error_; }

  private:
    // A datagram from a socket of the responder, bytes on a TCP connection, or its closing.
    enum class delivery { datagram, stream, hang_up };

    struct pending_reply {
        std::chrono::steady_clock::time_point due;
        int from_fd;  // for a stream or its closing: the connection
        sockaddr_storage to;
        std::vector<uint8_t> bytes;
        delivery how = delivery::datagram;
    };

    // An accepted TCP connection and the bytes of queries not yet complete.
    struct connection {
        int fd;
        sockaddr_storage client;
        std::vector<uint8_t> received;
    };

    void close_all();
    void take_query(std::span<const uint8_t> data, const sockaddr_storage& client, int stream_fd);
    void queue(int from_fd, const sockaddr_storage& to, std::vector<uint8_t> bytes,
               std::chrono::milliseconds delay = std::chrono::milliseconds(0),
               delivery how = delivery::datagram);
    void queue_framing_fault(int stream_fd, behaviour what, std::vector<uint8_t> framed);
    void send_due();
    void accept_connection();
    void read_connection(int fd);
    void close_connection(int fd);

    int listen_fd_ = -1;
    int listen6_fd_ = -1;
    int stream_listen_fd_ = -1;
    int other_address_fd_ = -1;
    int other_port_fd_ = -1;
    uint32_t address_ = 0;
    uint32_t other_address_ = 0;
    uint16_t port_ = 0;
    std::string error_;
    std::map<std::string, unsigned> queries_by_name_;
    std::vector<pending_reply> pending_;
    std::vector<connection> connections_;
    std::atomic<uint64_t> queries_seen_{0};
    std::atomic<uint16_t> last_client_port_{0};
    std::atomic<bool> stop_requested_{false};
    std::thread thread_;
};

}  // namespace resq::test_tools
