// A stream buffer in front of another that holds what is written, flushes included, until it is
// released or full: a writer that flushes every line then costs one write per batch of lines.
#pragma once

#include <cstddef>
#include <streambuf>
#include <vector>

namespace resq {

class held_flush_buffer : public std::streambuf {
  public:
    /// Holds up to `capacity` bytes in front of `target`.
    explicit held_flush_buffer(std::streambuf& target, std::size_t capacity = 65536);
    /// Releases what is still held.
    ~held_flush_buffer() override;
    held_flush_buffer(const held_flush_buffer&) = delete;
    held_flush_buffer& operator=(const held_flush_buffer&) = delete;

    /// Passes what is held on to the target and flushes it; false once the target has refused.
    bool release();

  protected:
    int_type overflow(int_type c) override;
    /// A flush of the stream holds on; it fails only once the target has refused.
    int sync() override;

  private:
    // Passes what is held on to the target.
    void pass_on();

    std::streambuf& target_;
    std::vector<char> held_;
    bool failed_ = false;
};

}  // namespace resq
