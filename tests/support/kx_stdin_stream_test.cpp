#include "support/kx_stdin_stream.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> read_all(const std::string& input, bool trim = true) {
    std::istringstream stream(input);
    uni::stdin_stream reader(stream);
    std::vector<std::string> lines;
    std::string line;
    while (reader.read_line(line, trim)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(stdin_stream, crlf_and_lf_endings_give_the_same_names) {
    EXPECT_EQ(read_all("a.example\r\nb.example\n"),
              (std::vector<std::string>{"a.example", "b.example"}));
}

TEST(stdin_stream, reads_a_last_line_without_a_line_feed) {
    EXPECT_EQ(read_all("a\nlast"), (std::vector<std::string>{"a", "last"}));
}

TEST(stdin_stream, trims_any_mix_of_line_ends_but_keeps_spaces_and_tabs) {
    EXPECT_EQ(read_all(" a \t\r\r\n\n"), (std::vector<std::string>{" a \t", ""}));
}

TEST(stdin_stream, keeps_line_ends_without_trim) {
    EXPECT_EQ(read_all("a\r\n", false), (std::vector<std::string>{"a\r\n"}));
}

TEST(stdin_stream, returns_blank_lines_as_empty_names) {
    EXPECT_EQ(read_all("\n\nx\n"), (std::vector<std::string>{"", "", "x"}));
}

TEST(stdin_stream, splits_a_5000_byte_line_into_4095_and_905) {
    const auto lines = read_all(std::string(5000, 'a') + "\nb\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 4095u);
    EXPECT_EQ(lines[1].size(), 905u);
    EXPECT_EQ(lines[2], "b");
}

TEST(stdin_stream, counts_input_lines_not_pieces) {
    std::istringstream stream(std::string(5000, 'a') + "\nb\n");
    uni::stdin_stream reader(stream);
    std::string line;
    std::vector<uint64_t> numbers;
    while (reader.read_line(line, true)) {
        numbers.push_back(reader.line_number());
    }
    EXPECT_EQ(numbers, (std::vector<uint64_t>{1, 1, 2}));
}

TEST(stdin_stream, cuts_a_line_at_its_first_zero_byte) {
    EXPECT_EQ(read_all(std::string("ab\0cd\n", 6)), (std::vector<std::string>{"ab"}));
}

TEST(stdin_stream, empty_input_gives_no_line) {
    EXPECT_TRUE(read_all("").empty());
}

}  // namespace
