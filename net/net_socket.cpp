#include "net/net_socket.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <utility>

namespace resq {

namespace {

// Whole milliseconds from now to `deadline`, rounded up so that the wait never ends before it.
int milliseconds_left(net_socket::deadline_clock::time_point deadline) {
    const auto left = deadline - net_socket::deadline_clock::now();
    if (left <= net_socket::deadline_clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

sockaddr_in make_address(int32_t family, uint32_t address_network_order,
                         uint16_t port_network_order) {
    sockaddr_in addr{};
    addr.sin_family = static_cast<sa_family_t>(family);
    addr.sin_port = port_network_order;
    addr.sin_addr.s_addr = address_network_order;
    return addr;
}

}  // namespace

net_socket::net_socket() {
    // A peer that goes away must end in a failed call, never in the death of the process. The
    // disposition is process-wide, so setting it once spares a system call per attempt.
    static const bool sigpipe_ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    static_cast<void>(sigpipe_ignored);
}

net_socket::~net_socket() {
    end();
}

net_socket::net_socket(net_socket&& other) noexcept
    : socket_type_(other.socket_type_),
      address_family_(other.address_family_),
      local_port_(other.local_port_),
      descriptor_(std::exchange(other.descriptor_, -1)) {}

net_socket& net_socket::operator=(net_socket&& other) noexcept {
    if (this != &other) {
        end();
        socket_type_ = other.socket_type_;
        address_family_ = other.address_family_;
        local_port_ = other.local_port_;
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

bool net_socket::create(int32_t kind, int32_t family) {
    address_family_ = family;
    int protocol = 0;
    switch (kind) {
        case 0:
            socket_type_ = SOCK_STREAM;
            protocol = IPPROTO_TCP;
            break;
        case 1:
            socket_type_ = SOCK_DGRAM;
            protocol = IPPROTO_UDP;
            break;
        case 2:
            socket_type_ = SOCK_RAW;
            protocol = IPPROTO_UDP;
            break;
        default:
            return false;
    }
    end();
    // Close-on-exec keeps the descriptor out of any program this process might start.
    descriptor_ = ::socket(family, socket_type_ | SOCK_CLOEXEC, protocol);
    return descriptor_ != -1;
}

bool net_socket::send_to(const uint8_t* data, std::size_t len, uint32_t address_network_order,
                         uint16_t port_host_order) {
    if (data == nullptr || len == 0 || descriptor_ == -1) {
        return false;
    }
    const sockaddr_in addr =
        make_address(address_family_, address_network_order, htons(port_host_order));
    std::size_t sent = 0;
    while (sent < len) {
        const ssize_t n = ::sendto(descriptor_, data + sent, len - sent, 0,
                                   reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
        if (n == -1 && errno == EINTR) {
            continue;
        }
        // A stream that accepts nothing would otherwise keep this loop going for ever.
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool net_socket::wait_readable(deadline_clock::time_point deadline) const {
    if (descriptor_ == -1) {
        return false;
    }
    pollfd entry{};
    entry.fd = descriptor_;
    entry.events = POLLIN;
    for (;;) {
        const int wait_ms = milliseconds_left(deadline);
        entry.revents = 0;
        const int ready = ::poll(&entry, 1, wait_ms);
        if (ready > 0) {
            // An error or hang-up is also readable: the read that follows reports it.
            return true;
        }
        if (ready == 0) {
            if (wait_ms == 0 || deadline_clock::now() >= deadline) {
                return false;
            }
            continue;  // woke before the deadline: wait for what is left
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

std::size_t net_socket::recv_from(uint8_t* buffer, std::size_t capacity, uint32_t& address,
                                  uint32_t& port, int32_t timeout_secs, bool host_order) {
    if (buffer == nullptr || capacity == 0 || descriptor_ == -1) {
        return 0;
    }
    return recv_until(
        buffer, capacity, address, port,
        deadline_clock::now() + std::chrono::seconds(timeout_secs < 0 ? 0 : timeout_secs),
        host_order);
}

std::size_t net_socket::recv_until(uint8_t* buffer, std::size_t capacity, uint32_t& address,
                                   uint32_t& port, deadline_clock::time_point deadline,
                                   bool host_order) {
    if (buffer == nullptr || capacity == 0 || descriptor_ == -1) {
        return 0;
    }
    while (wait_readable(deadline)) {
        sockaddr_in from = make_address(
            address_family_, host_order ? htonl(address) : address,
            host_order ? htons(static_cast<uint16_t>(port)) : static_cast<uint16_t>(port));
        socklen_t from_len = sizeof from;
        // Not blocking: a datagram announced by poll but dropped before the read (bad checksum)
        // sends us back to the wait instead of past the deadline.
        const ssize_t n = ::recvfrom(descriptor_, buffer, capacity, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &from_len);
        if (n == -1) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return 0;
        }
        address = host_order ? ntohl(from.sin_addr.s_addr) : from.sin_addr.s_addr;
        port = host_order ? ntohs(from.sin_port) : from.sin_port;
        return static_cast<std::size_t>(n);
    }
    return 0;
}

bool net_socket::close() {
    if (descriptor_ == -1) {
        return true;
    }
    // Linux releases the descriptor even when close reports EINTR, so it is never retried.
    if (::close(descriptor_) == -1 && errno != EINTR) {
        return false;
    }
    descriptor_ = -1;
    return true;
}

void net_socket::end() {
    if (descriptor_ == -1) {
        return;
    }
    ::shutdown(descriptor_, SHUT_WR);
    close();
}

}  // namespace resq
