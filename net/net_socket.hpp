// The socket that carries one query to a DNS server and brings back its reply. It never blocks:
// the caller waits for readiness (an event loop on descriptor()) and then calls.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/endpoint.hpp"

namespace resq {

/// The transports a query can go over: datagrams, a stream (for replies too large for one), and
/// a stream carrying TLS (DNS over TLS) or HTTP/2 over TLS (DNS over HTTPS).
enum class transport { udp, tcp, tls, https };

/// The name reports give `kind`: "udp", "tcp", "tls" or "https".
constexpr const char* transport_name(transport kind) {
    constexpr const char* names[] = {"udp", "tcp", "tls", "https"};
    return names[static_cast<int>(kind)];
}

/// Owns one non-blocking POSIX socket descriptor (-1: none); neither copied nor moved.
class net_socket {
  public:
    /// Starts without a socket; the first construction ignores SIGPIPE for the whole process.
    net_socket();
    /// Ends the socket (see end()).
    ~net_socket();

    net_socket(const net_socket&) = delete;
    net_socket& operator=(const net_socket&) = delete;

    /// Opens a non-blocking `kind` socket for `peer`, ending any held; a datagram socket stamps
    /// what it receives with its arrival time. False, errno telling why, if refused (EMFILE when
    /// the process has no descriptor left).
    bool create(transport kind, const endpoint& peer);

    /// Binds the socket to the local address `local` (its port 0: the kernel picks one). False,
    /// errno telling why, when refused (EADDRNOTAVAIL: no interface holds the address).
    bool bind_to(const endpoint& local);

    /// Connects to `peer`: a datagram socket then takes datagrams from `peer` alone (the kernel
    /// drops the rest, and reports ICMP errors); a stream connects in the background. False, errno
    /// telling why, when refused; a stream still connecting is true with `in_progress` set.
    bool connect_to(const endpoint& peer, bool& in_progress);

    /// After a stream connecting in the background became writable: 0 when connected, else why
    /// not (an errno value).
    int connect_error() const;

    /// Sends what it can of `bytes` (a datagram whole or not at all) and adds the count to `sent`;
    /// false, errno telling why, on failure. Nothing sent for lack of room is true.
    bool send_some(std::span<const uint8_t> bytes, std::size_t& sent);

    /// Reads one datagram, or what a stream holds, into `buffer` and gives its `size` (0 on a
    /// stream: it closed); false with errno EAGAIN when nothing waits, or another errno on
    /// failure (ECONNREFUSED: an ICMP error for an earlier datagram).
    bool receive_some(std::span<uint8_t> buffer, std::size_t& size);

    /// Reads one datagram like receive_some and gives the moment the kernel took it in, in
    /// nanoseconds since 1970-01-01 UTC (0 when the kernel gave none): a reply read late, behind
    /// others, still counts from when it arrived.
    bool receive_stamped(std::span<uint8_t> buffer, std::size_t& size, uint64_t& arrived_ns);

    /// Closes the descriptor; false when the system's close fails, and the descriptor is kept.
    bool close();

    /// Shuts the sending side down and closes; nothing to do without a descriptor.
    void end();

    /// The socket's own address and port (getsockname); holding none without a socket.
    endpoint local_endpoint() const;

    /// The descriptor, -1 when none; lets a caller bind, wait on or inspect the socket.
    int descriptor() const { return descriptor_; }

  private:
    int descriptor_ = -1;
};

}  // namespace resq
