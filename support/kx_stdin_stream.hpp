// Line reader over standard input with one fixed buffer, so input of any length is read in
// constant memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "support/descriptor_input.hpp"

namespace uni {

/// Reads lines of at most 4095 bytes from a stream; longer lines come in pieces.
class stdin_stream {
  public:
    static constexpr std::size_t buffer_size = 4096;

    /// Reads from `input` (the process's standard input unless a test passes another stream).
    /// `source`, when set, is the buffer that `input` reads through (it does the waiting for
    /// input): its failed read is a read error, and a reading it gave up (a stop) ends the input.
    explicit stdin_stream(std::istream& input, resq::descriptor_input* source = nullptr);
    virtual ~stdin_stream() = default;
    stdin_stream(const stdin_stream&) = delete;
    stdin_stream& operator=(const stdin_stream&) = delete;

    /// Fills `line` with the next line or piece of a long line (up to its first zero byte); with
    /// `trim` the carriage returns and line feeds at its end are removed. False at the end of
    /// input and once a read has failed (the piece it was reading is dropped).
    virtual bool read_line(std::string& line, bool trim);

    /// Number of the input line that the last piece read belongs to (1 for the first line).
    uint64_t line_number() const { return line_number_; }

    /// The errno value of the read that failed (EIO when the stream gave none); 0 while none has.
    int read_error() const { return read_error_; }

  protected:
    bool is_open = false;
    uint64_t line_number_ = 0;

  private:
    std::unique_ptr<char[]> buffer;
    std::istream* stream;
    resq::descriptor_input* source_;
    bool at_line_start_ = true;
    int read_error_ = 0;
};

/// Removes every carriage return and line feed at the end of `line`.
void trim_line_end(std::string& line);

}  // namespace uni
