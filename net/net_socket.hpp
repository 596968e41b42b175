// The socket that carries one query to a DNS server and brings back one reply datagram.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace resq {

/// Owns one POSIX socket descriptor (-1: none). Non-copyable; moving hands the descriptor over.
class net_socket {
  public:
    using deadline_clock = std::chrono::steady_clock;

    /// Starts without a socket; the first construction ignores SIGPIPE for the whole process.
    net_socket();
    /// Ends the socket (see end()).
    ~net_socket();

    net_socket(const net_socket&) = delete;
    net_socket& operator=(const net_socket&) = delete;
    net_socket(net_socket&& other) noexcept;
    net_socket& operator=(net_socket&& other) noexcept;

    /// Opens a socket of `kind` (0 TCP stream, 1 UDP datagram, 2 raw UDP) in `family`, ending any
    /// socket held before. False for another kind or when the system refuses the socket.
    bool create(int32_t kind, int32_t family);

    /// Sends `len` bytes of `data` to an IPv4 address (network order) and port (host order).
    /// False when there is nothing to send, no socket, or the system refuses the send.
    bool send_to(const uint8_t* data, std::size_t len, uint32_t address_network_order,
                 uint16_t port_host_order);

    /// Waits up to `timeout_secs` (negative: 0, only what is already waiting) for one datagram,
    /// reads it into `buffer` and stores its sender in `address` and `port` (host order when
    /// `host_order`). Returns the bytes received; 0 for nothing, an empty datagram or a failure.
    std::size_t recv_from(uint8_t* buffer, std::size_t capacity, uint32_t& address, uint32_t& port,
                          int32_t timeout_secs, bool host_order);

    /// As recv_from, waiting until `deadline` instead of for a number of seconds.
    std::size_t recv_until(uint8_t* buffer, std::size_t capacity, uint32_t& address, uint32_t& port,
                           deadline_clock::time_point deadline, bool host_order);

    /// Waits until a datagram can be read or `deadline` has passed; signals neither cut the wait
    /// short nor stretch it. False on time-out, without a socket, or when the wait fails.
    bool wait_readable(deadline_clock::time_point deadline) const;

    /// Closes the descriptor. False when the system's close fails; the descriptor is then kept.
    bool close();

    /// Shuts the sending side down and closes; nothing to do without a descriptor.
    void end();

    int32_t descriptor() const { return descriptor_; }
    int32_t socket_type() const { return socket_type_; }
    int32_t address_family() const { return address_family_; }
    uint16_t local_port() const { return local_port_; }

  private:
    int32_t socket_type_ = 3;
    int32_t address_family_ = 0;
    uint16_t local_port_ = 0;  // kept for the bind operation this program never uses
    int32_t descriptor_ = -1;
};

}  // namespace resq
