#include "net/net_socket.hpp"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

namespace resq {

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
    const bool stream = kind != transport::udp;
    // Close-on-exec keeps the descriptor out of any program this process might start.
    descriptor_ =
        ::socket(peer.family(), (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC,
                 stream ? IPPROTO_TCP : IPPROTO_UDP);
    if (descriptor_ == -1) {
        return false;
    }
    const int on = 1;
    if (!stream && ::setsockopt(descriptor_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0) {
        const int error = errno;
        close();
        errno = error;
        return false;
    }
    return true;
}

bool net_socket::bind_to(const endpoint& local) {
    if (descriptor_ == -1) {
        errno = EBADF;
        return false;
    }
    return ::bind(descriptor_, local.address(), local.size()) == 0;
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

bool net_socket::receive_stamped(std::span<uint8_t> buffer, std::size_t& size,
                                 uint64_t& arrived_ns) {
    arrived_ns = 0;
    if (buffer.empty() || descriptor_ == -1) {
        errno = EINVAL;
        return false;
    }
    iovec piece{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    for (;;) {
        const ssize_t n = ::recvmsg(descriptor_, &message, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        size = static_cast<std::size_t>(n);
        break;
    }
    for (cmsghdr* entry = CMSG_FIRSTHDR(&message); entry != nullptr;
         entry = CMSG_NXTHDR(&message, entry)) {
        if (entry->cmsg_level == SOL_SOCKET && entry->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(entry), sizeof stamp);
            arrived_ns = static_cast<uint64_t>(stamp.tv_sec) * 1'000'000'000u +
                         static_cast<uint64_t>(stamp.tv_nsec);
        }
    }
    return true;
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
