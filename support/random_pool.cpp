#include "support/random_pool.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

namespace resq {

namespace {

// Reads `out` from /dev/urandom, for kernels older than getrandom(2).
bool fill_from_urandom(std::span<uint8_t> out) {
    struct descriptor {
        int fd;
        ~descriptor() {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    } source{::open("/dev/urandom", O_RDONLY | O_CLOEXEC)};
    if (source.fd < 0) {
        return false;
    }
    std::size_t filled = 0;
    while (filled < out.size()) {
        const ssize_t got = ::read(source.fd, out.data() + filled, out.size() - filled);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (got == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool fill_random(std::span<uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        // A signal may cut a large request short, or interrupt it before any byte (EINTR); both
        // go on with what is still missing.
        const ssize_t got = ::getrandom(out.data() + filled, out.size() - filled, 0);
        if (got > 0) {
            filled += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == ENOSYS) {
            return fill_from_urandom(out.subspan(filled));
        } else if (got == 0 || errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool random_pool::next_u16(uint16_t& value) {
    value = 0;
    if (used_ == block) {
        if (!fill_random(bytes_)) {
            return false;
        }
        used_ = 0;
    }
    const std::size_t at = used_ * 2;
    value = static_cast<uint16_t>(bytes_[at] << 8 | bytes_[at + 1]);
    ++used_;
    return true;
}

}  // namespace resq
