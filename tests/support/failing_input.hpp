// Hands out its parts (none empty) in turn and, unless `error` is 0, fails a read after each as a
// file stream buffer does: errno set (kept for a negative `error`), then an exception.
#pragma once

#include <cerrno>
#include <istream>
#include <string>
#include <vector>

namespace resq::testing_support {

struct failing_input : std::streambuf {
    failing_input(std::vector<std::string> texts, int code)
        : parts(std::move(texts)), error(code) {}
    int_type underflow() override {
        if (error != 0 && failures < next) {
            ++failures;
            errno = error > 0 ? error : errno;
            throw std::ios_base::failure("read failed");
        }
        if (next == parts.size()) {
            return traits_type::eof();
        }
        setg(parts[next].data(), parts[next].data(), parts[next].data() + parts[next].size());
        return traits_type::to_int_type(parts[next++].front());
    }
    std::vector<std::string> parts;
    int error;
    std::size_t next = 0, failures = 0;
};

}  // namespace resq::testing_support
