#include "support/kx_stdin_stream.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

namespace uni {

stdin_stream::stdin_stream(std::istream& input, resq::descriptor_input* source)
    : buffer(std::make_unique<char[]>(buffer_size)), stream(&input), source_(source) {
    is_open = true;
}

bool stdin_stream::read_line(std::string& line, bool trim) {
    line.clear();
    if (!is_open || read_error_ != 0) {
        return false;
    }
    // Up to and including the next line feed, at most buffer_size - 1 bytes, like fgets: a longer
    // line is handed out in pieces, and only its last piece carries the line feed. Reading through
    // the stream (not its buffer) turns a failed read into the stream's bad state, whose cause is
    // left in errno.
    constexpr std::size_t limit = buffer_size - 1;
    std::size_t count = 0;
    while (count < limit) {
        errno = 0;
        stream->get(buffer.get() + count, static_cast<std::streamsize>(buffer_size - count), '\n');
        count += static_cast<std::size_t>(stream->gcount());
        if (stream->bad()) {
            read_error_ = errno != 0 ? errno : EIO;
            return false;
        }
        if (stream->eof()) {
            // A descriptor's buffer ends its input on a failed read, and when a stop cut the
            // wait short: then the piece read so far is no whole line and is dropped.
            if (source_ != nullptr && source_->error() != 0) {
                read_error_ = source_->error();
                return false;
            }
            if (source_ != nullptr && source_->stopped()) {
                return false;
            }
            break;
        }
        if (count == limit) {
            break;
        }
        // get() stops before the line feed, and fails when it stored nothing: the line feed,
        // already in the stream's buffer, ends the piece.
        stream->clear();
        if (stream->get(buffer[count])) {
            ++count;
        }
        break;
    }
    if (count == 0) {
        return false;
    }
    if (at_line_start_) {
        ++line_number_;
    }
    at_line_start_ = buffer[count - 1] == '\n';
    // The bytes become the name as they are, up to the first zero byte.
    const void* zero = std::memchr(buffer.get(), 0, count);
    line.assign(
        buffer.get(),
        zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - buffer.get()) : count);
    if (trim) {
        trim_line_end(line);
    }
    return true;
}

void trim_line_end(std::string& line) {
    const std::size_t keep = line.find_last_not_of("\r\n");
    line.erase(keep == std::string::npos ? 0 : keep + 1);
}

}  // namespace uni
