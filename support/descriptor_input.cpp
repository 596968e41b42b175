#include "support/descriptor_input.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "support/stop_signal.hpp"

namespace resq {

descriptor_input::descriptor_input(int fd)
    : fd_(fd), buffer_(std::make_unique<char[]>(buffer_size)) {
    setg(buffer_.get(), buffer_.get(), buffer_.get());
}

void descriptor_input::set_wait(wait_function wait) {
    wait_ = std::move(wait);
}

bool descriptor_input::wait_briefly(std::chrono::milliseconds limit) const {
    if (stop_signal() != 0) {
        return false;
    }
    // A stop signal cuts the poll short with EINTR; either way the caller looks again.
    pollfd input{fd_, POLLIN, 0};
    ::poll(&input, 1, static_cast<int>(limit.count()));
    return stop_signal() == 0;
}

bool descriptor_input::ready_now() const {
    pollfd input{fd_, POLLIN, 0};
    const int ready = ::poll(&input, 1, 0);
    // A hung-up writer or a descriptor that cannot be polled is "ready" too: the read tells
    // its end or its error. A failed poll other than EINTR is left to the read as well.
    return ready > 0 || (ready < 0 && errno != EINTR);
}

bool descriptor_input::fill(bool& retry) {
    retry = false;
    char* const start = buffer_.get();
    // What is still buffered moves to the front, so the free space follows it.
    const std::size_t kept = static_cast<std::size_t>(egptr() - gptr());
    if (gptr() != start) {
        std::memmove(start, gptr(), kept);
        setg(start, start, start + kept);
    }
    const ssize_t count = ::read(fd_, start + kept, buffer_size - kept);
    if (count > 0) {
        setg(start, start, start + kept + static_cast<std::size_t>(count));
        return true;
    }
    if (count == 0) {
        ended_ = true;
    } else if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
        retry = true;
    } else {
        error_ = errno;
    }
    return false;
}

descriptor_input::int_type descriptor_input::underflow() {
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    while (!finished()) {
        bool retry = false;
        if (ready_now() && fill(retry)) {
            return traits_type::to_int_type(*gptr());
        }
        if (finished()) {
            break;
        }
        // Nothing to read yet, or the read was cut short by a signal: the wait decides whether
        // to go on, and looks for a stop request.
        if (!(wait_ ? wait_() : wait_briefly())) {
            stopped_ = true;
        }
    }
    return traits_type::eof();
}

std::streamsize descriptor_input::showmanyc() {
    if (finished()) {
        return -1;
    }
    return ready_now() ? 1 : 0;
}

}  // namespace resq
