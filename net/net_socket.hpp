// The socket that carries one query to a DNS server and brings back its reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

#include "net/endpoint.hpp"

namespace resq {

/// The transports a socket can carry: datagrams, or (for replies too large for one) a stream.
enum class transport { udp, tcp };

/// Owns one POSIX socket descriptor (-1: none); neither copied nor moved.
class net_socket {
  public:
    using deadline_clock = std::chrono::steady_clock;

    /// Starts without a socket; the first construction ignores SIGPIPE for the whole process.
    net_socket();
    /// Ends the socket (see end()).
    ~net_socket();

    net_socket(const net_socket&) = delete;
    net_socket& operator=(const net_socket&) = delete;

    /// Opens a `kind` socket for `peer`, ending any held (streams don't block); false if refused.
    bool create(transport kind, const endpoint& peer);

    /// Connects a stream to `peer` by `deadline`; false, errno telling why, if refused or late.
    bool connect_until(const endpoint& peer, deadline_clock::time_point deadline);

    /// Sends all of `bytes` on a stream by `deadline`; false: none, no socket, failure, no room.
    bool send_until(std::span<const uint8_t> bytes, deadline_clock::time_point deadline);

    /// Reads what a stream holds by `deadline` (`size` 0: it closed); false: none came, or failed.
    bool receive_some_until(std::span<uint8_t> buffer, std::size_t& size,
                            deadline_clock::time_point deadline);

    /// Sends all of `bytes` to `to`; false for nothing to send, no socket, or a refused send.
    bool send_to(std::span<const uint8_t> bytes, const endpoint& to);

    /// Reads one datagram arriving before `deadline`, its size and sender; false if none or failed.
    bool receive_until(std::span<uint8_t> buffer, std::size_t& size, endpoint& from,
                       deadline_clock::time_point deadline);

    /// Waits, through signals, until the socket is readable; false at `deadline` or on failure.
    bool wait_readable(deadline_clock::time_point deadline) const;

    /// Closes the descriptor; false when the system's close fails, and the descriptor is kept.
    bool close();

    /// Shuts the sending side down and closes; nothing to do without a descriptor.
    void end();

    /// The socket's own address and port (getsockname); holding none without a socket.
    endpoint local_endpoint() const;

    /// The descriptor, -1 when none; lets a caller bind or inspect what the socket does not.
    int descriptor() const { return descriptor_; }

  private:
    int descriptor_ = -1;
};

}  // namespace resq
