#include "net/net_socket.hpp"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>

namespace resq {

namespace {

// Waits, through signals, until `descriptor` is ready for `events`; false at `deadline` or on
// failure. An error or hang-up also counts as ready: the call that follows reports it.
bool wait_until_ready(int descriptor, short events,
                      net_socket::deadline_clock::time_point deadline) {
    if (descriptor == -1) {
        return false;
    }
    pollfd entry{};
    entry.fd = descriptor;
    entry.events = events;
    for (;;) {
        const int wait_ms = milliseconds_until(deadline);
        entry.revents = 0;
        const int ready = ::poll(&entry, 1, wait_ms);
        if (ready > 0) {
            return true;
        }
        if (ready == 0) {
            if (wait_ms == 0 || net_socket::deadline_clock::now() >= deadline) {
                return false;
            }
            continue;  // woke before the deadline: wait for what is left
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

int milliseconds_until(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

net_socket::net_socket() {
    // A peer that goes away must end in a failed call, never in the death of the process. The
    // disposition is process-wide, so setting it once spares a system call per attempt.
    static const bool sigpipe_ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    static_cast<void>(sigpipe_ignored);
}

net_socket::~net_socket() {
    end();
}

bool net_socket::create(transport kind, const endpoint& peer) {
    end();
    const bool stream = kind == transport::tcp;
    // Close-on-exec keeps the descriptor out of any program this process might start.
    descriptor_ =
        ::socket(peer.family(), (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC,
                 stream ? IPPROTO_TCP : IPPROTO_UDP);
    return descriptor_ != -1;
}

bool net_socket::connect_to(const endpoint& peer, bool& in_progress) {
    in_progress = false;
    if (descriptor_ == -1) {
        errno = EBADF;
        return false;
    }
    if (::connect(descriptor_, peer.address(), peer.size()) == 0) {
        return true;
    }
    // After EINTR the connection is still made in the background, as after EINPROGRESS; calling
    // connect again would only report EALREADY.
    in_progress = errno == EINPROGRESS || errno == EINTR;
    return in_progress;
}

int net_socket::connect_error() const {
    int error = 0;
    socklen_t error_size = sizeof error;
    if (::getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &error, &error_size) != 0) {
        return errno;
    }
    return error;
}

bool net_socket::send_some(std::span<const uint8_t> bytes, std::size_t& sent) {
    if (bytes.empty() || descriptor_ == -1) {
        errno = EINVAL;
        return false;
    }
    for (;;) {
        const ssize_t n = ::send(descriptor_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
            return true;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

bool net_socket::receive_some(std::span<uint8_t> buffer, std::size_t& size) {
    if (buffer.empty() || descriptor_ == -1) {
        errno = EINVAL;
        return false;
    }
    for (;;) {
        const ssize_t n = ::recv(descriptor_, buffer.data(), buffer.size(), 0);
        if (n >= 0) {
            size = static_cast<std::size_t>(n);
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

bool net_socket::wait_ready(short events, deadline_clock::time_point deadline) const {
    return wait_until_ready(descriptor_, events, deadline);
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

endpoint net_socket::local_endpoint() const {
    endpoint local;
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (descriptor_ >= 0 &&
        ::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        local.assign(reinterpret_cast<const sockaddr*>(&address), size);
    }
    return local;
}

}  // namespace resq
