#include "support/kx_stdin_stream.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/failing_input.hpp"

namespace {

struct read_case {
    const char* description;
    std::string input;
    bool trim;
    std::vector<std::string> lines;
};

std::vector<std::string> read_all(const std::string& input, bool trim) {
    std::istringstream stream(input);
    uni::stdin_stream reader(stream);
    std::vector<std::string> lines;
    for (std::string line; reader.read_line(line, trim);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(stdin_stream, hands_out_each_line_as_the_batch_loop_needs_it) {
    const read_case cases[] = {
        {"crlf and lf endings", "a.example\r\nb.example\n", true, {"a.example", "b.example"}},
        {"last line without line feed", "a\nlast", true, {"a", "last"}},
        {"any mix of line ends trimmed, blanks kept", " a \t\r\r\n\n", true, {" a \t", ""}},
        {"line ends kept without trim", "a\r\n", false, {"a\r\n"}},
        {"blank lines are empty names", "\n\nx\n", true, {"", "", "x"}},
        {"cut at the first zero byte", std::string("ab\0cd\n", 6), true, {"ab"}},
        {"empty input", "", true, {}},
    };
    for (const read_case& c : cases) {
        EXPECT_EQ(read_all(c.input, c.trim), c.lines) << c.description;
    }
}

TEST(stdin_stream, splits_a_5000_byte_line_into_4095_and_905_counting_one_input_line) {
    std::istringstream stream(std::string(5000, 'a') + "\nb\n");
    uni::stdin_stream reader(stream);
    std::vector<std::size_t> sizes;
    std::vector<uint64_t> numbers;
    for (std::string line; reader.read_line(line, true);) {
        sizes.push_back(line.size());
        numbers.push_back(reader.line_number());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{4095, 905, 1}));
    EXPECT_EQ(numbers, (std::vector<uint64_t>{1, 1, 2}));
}

// Every piece read from `stream`, then "error: " and the reason when a read failed.
std::vector<std::string> read_until_failure(std::istream& stream, bool wait_result, int& waits) {
    uni::stdin_stream reader(stream, [&] { return ++waits != 0 && wait_result; });
    std::vector<std::string> lines;
    for (std::string line; reader.read_line(line, true);) {
        lines.push_back(line);
    }
    if (reader.read_error() != 0) {
        lines.push_back("error: " + std::string(std::strerror(reader.read_error())));
    }
    return lines;
}

TEST(stdin_stream, ends_at_a_failed_read_but_waits_out_an_input_with_nothing_yet) {
    using lines = std::vector<std::string>;
    using resq::testing_support::failing_input;
    int waits = 0;
    failing_input broken({"a\nb.ex", "never read\n"}, EIO);
    std::istream broken_stream(&broken);
    EXPECT_EQ(read_until_failure(broken_stream, true, waits),
              (lines{"a", "error: Input/output error"}));
    failing_input slow({"a\nb", "c\n"}, EAGAIN);
    std::istream slow_stream(&slow);
    EXPECT_EQ(read_until_failure(slow_stream, true, waits), (lines{"a", "bc"}));
    EXPECT_EQ(waits, 2);
    failing_input unwaited({"a\nb", "c\n"}, EAGAIN);
    std::istream unwaited_stream(&unwaited);
    EXPECT_EQ(read_until_failure(unwaited_stream, false, waits),
              (lines{"a", "error: Resource temporarily unavailable"}));
    std::istringstream bad("a\n");
    bad.setstate(std::ios::badbit);  // no errno: the reason is a plain input error
    EXPECT_EQ(read_until_failure(bad, true, waits), (lines{"error: Input/output error"}));
}

}  // namespace
