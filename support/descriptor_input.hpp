// A read buffer over a descriptor (standard input) that never keeps the run inside a read: while
// nothing can be read it hands control to a wait function, which may run other work and which
// ends the reading when a stop is requested. The descriptor itself is left as it is (blocking or
// not), as it may be shared with the shell.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <streambuf>

namespace resq {

class descriptor_input : public std::streambuf {
  public:
    static constexpr std::size_t buffer_size = 65536;

    /// Called while no byte is ready to read: does other work or waits a short while (at most
    /// some tens of milliseconds); false gives up reading (a stop was requested).
    using wait_function = std::function<bool()>;

    /// Reads `fd`, which stays open and owned by the caller.
    explicit descriptor_input(int fd);
    descriptor_input(const descriptor_input&) = delete;
    descriptor_input& operator=(const descriptor_input&) = delete;

    /// Sets the wait used while nothing can be read; unset, wait_briefly() is used.
    void set_wait(wait_function wait);

    /// Waits up to `limit` for the descriptor to become readable; false once a stop signal has
    /// been received.
    bool wait_briefly(std::chrono::milliseconds limit = std::chrono::milliseconds(100)) const;

    /// The descriptor read.
    int descriptor() const { return fd_; }

    /// The errno value of the read that failed, 0 while none has.
    int error() const { return error_; }

    /// Whether the reading ended because the wait function gave up.
    bool stopped() const { return stopped_; }

  protected:
    int_type underflow() override;
    /// Bytes buffered; otherwise 1 when the descriptor can be read now, -1 once the input has
    /// ended, failed or given up.
    std::streamsize showmanyc() override;

  private:
    // Whether the descriptor can be read (or will report its end or error) without waiting.
    bool ready_now() const;
    // Reads once into the free space after what is buffered; false when nothing came (the end,
    // an error, or EINTR or EAGAIN, with `retry` set for those two).
    bool fill(bool& retry);
    bool finished() const { return ended_ || stopped_ || error_ != 0; }

    int fd_;
    std::unique_ptr<char[]> buffer_;
    wait_function wait_;
    int error_ = 0;
    bool ended_ = false;
    bool stopped_ = false;
};

}  // namespace resq
