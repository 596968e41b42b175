#include "support/descriptor_input.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <istream>
#include <string>
#include <vector>

#include "support/kx_stdin_stream.hpp"

namespace {

using lines = std::vector<std::string>;

// Both ends of a pipe, closed at the end of the test.
struct test_pipe {
    test_pipe() { EXPECT_EQ(::pipe(ends), 0); }
    ~test_pipe() {
        close_writer();
        ::close(ends[0]);
    }
    void write(const std::string& text) {
        EXPECT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void close_writer() {
        if (ends[1] >= 0) {
            ::close(ends[1]);
            ends[1] = -1;
        }
    }
    int ends[2] = {-1, -1};
};

// The lines read through `reader`, then how the input ended: "error: " and the reason of a
// failed read, or "stopped" when the wait gave up.
lines read_all(uni::stdin_stream& reader, const resq::descriptor_input& buffer) {
    lines found;
    for (std::string line; reader.read_line(line, true);) {
        found.push_back(line);
    }
    if (reader.read_error() != 0) {
        found.push_back("error: " + std::string(std::strerror(reader.read_error())));
    }
    if (buffer.stopped()) {
        found.push_back("stopped");
    }
    return found;
}

lines read_descriptor(int fd) {
    resq::descriptor_input buffer(fd);
    std::istream stream(&buffer);
    uni::stdin_stream reader(stream, &buffer);
    return read_all(reader, buffer);
}

// A line reader over the buffer of a pipe's reading end.
class reading_a_pipe : public testing::Test {
  protected:
    test_pipe pipe;
    resq::descriptor_input buffer{pipe.ends[0]};
    std::istream stream{&buffer};
    uni::stdin_stream reader{stream, &buffer};
};

TEST_F(reading_a_pipe, hands_out_a_line_whole_once_its_paused_writer_completes_it) {
    pipe.write("www.example\nb.ex");
    // Each wait lets the writer go on by one piece; the last one closes the pipe.
    const lines pieces = {"ample", "\nc\n"};
    std::size_t waits = 0;
    buffer.set_wait([&] {
        if (waits < pieces.size()) {
            pipe.write(pieces[waits]);
        } else {
            pipe.close_writer();
        }
        ++waits;
        return true;
    });
    EXPECT_EQ(read_all(reader, buffer), (lines{"www.example", "b.example", "c"}));
    EXPECT_EQ(waits, 3u);
}

TEST_F(reading_a_pipe, ends_without_an_error_when_the_wait_gives_up_dropping_the_cut_line) {
    pipe.write("a\nb.exa");
    int waits = 0;
    buffer.set_wait([&] { return ++waits < 2; });
    EXPECT_EQ(read_all(reader, buffer), (lines{"a", "stopped"}));
    EXPECT_EQ(waits, 2);
}

TEST(descriptor_input, reports_a_failed_read_as_a_read_error) {
    const int directory =
        ::open(std::filesystem::temp_directory_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(directory, 0);
    EXPECT_EQ(read_descriptor(directory), (lines{"error: Is a directory"}));
    ::close(directory);
    EXPECT_EQ(read_descriptor(directory), (lines{"error: Bad file descriptor"}));
}

}  // namespace
