#include "support/kx_stdin_stream.hpp"

#include <cstring>
#include <streambuf>

namespace uni {

stdin_stream::stdin_stream(std::istream& input)
    : buffer(std::make_unique<char[]>(buffer_size)), stream(&input) {
    is_open = true;
}

bool stdin_stream::read_line(std::string& line, bool trim) {
    line.clear();
    if (!is_open) {
        return false;
    }
    // Up to and including the next line feed, at most buffer_size - 1 bytes, like fgets: a longer
    // line is handed out in pieces, and only its last piece carries the line feed.
    std::streambuf* source = stream->rdbuf();
    std::size_t count = 0;
    while (count < buffer_size - 1) {
        const std::streambuf::int_type next = source->sbumpc();
        if (std::streambuf::traits_type::eq_int_type(next, std::streambuf::traits_type::eof())) {
            break;
        }
        buffer[count++] = std::streambuf::traits_type::to_char_type(next);
        if (buffer[count - 1] == '\n') {
            break;
        }
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
