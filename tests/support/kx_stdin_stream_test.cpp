#include "support/kx_stdin_stream.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "support/kx_filter.hpp"
#include "support/kx_portable_dir.hpp"
#include "tests/support/failing_input.hpp"

namespace {

namespace fs = std::filesystem;
using lines = std::vector<std::string>;

// Every piece read from `parts` (with a failed read after each unless `error` is 0), then
// "error: " and the reason when a read failed.
lines read_all(std::vector<std::string> parts, int error, bool trim) {
    resq::testing_support::failing_input input(std::move(parts), error);
    std::istream stream(&input);
    lines found;
    uni::stdin_stream reader(stream);
    for (std::string line; reader.read_line(line, trim);) {
        found.push_back(line);
    }
    if (reader.read_error() != 0) {
        found.push_back("error: " + std::string(std::strerror(reader.read_error())));
    }
    return found;
}

TEST(stdin_stream, hands_out_each_line_as_the_batch_loop_needs_it_until_a_read_fails) {
    const std::string a(4095, 'a');
    // clang-format off
    const struct { const char* description; lines parts; int error; bool trim; lines expected; }
    cases[] = {
        {"crlf and lf endings", {"a.example\r\nb.example\n"}, 0, true, {"a.example", "b.example"}},
        {"last line without line feed", {"a\nlast"}, 0, true, {"a", "last"}},
        {"any mix of line ends trimmed, blanks kept", {" a \t\r\r\n\n"}, 0, true, {" a \t", ""}},
        {"line ends kept without trim", {"a\r\n"}, 0, false, {"a\r\n"}},
        {"blank lines are empty names", {"\n\nx\n"}, 0, true, {"", "", "x"}},
        {"cut at the first zero byte", {std::string("ab\0cd\n", 6)}, 0, true, {"ab"}},
        {"empty input", {}, 0, true, {}},
        {"4095 bytes at most, like fgets", {a + "aa\n" + a + "\n"}, 0, false, {a, "aa\n", a, "\n"}},
        {"a failed read ends the input, its piece dropped", {"a\nb.ex", "c\n"}, EIO, true,
         {"a", "error: Input/output error"}},
        {"a failed read without a reason is an input error", {"a\nb"}, -1, true,
         {"a", "error: Input/output error"}}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(read_all(c.parts, c.error, c.trim), c.expected) << c.description;
    }
}

TEST(directory_walk, lists_level_by_level_in_name_order_keeping_what_the_filters_pass) {
    fs::path root = fs::temp_directory_path() / ("resq_walk_" + std::to_string(getpid()));
    fs::create_directories(root / "a" / "deep" / "deeper");
    fs::create_directories(root / "b");
    for (const char* file :
         {"z.txt", "m.log", "b/2.txt", "a/1.txt", "a/deep/3", "a/deep/deeper/4"}) {
        std::ofstream(root / file) << "x";
    }
    fs::create_directory_symlink(root, root / "b" / "loop");  // never followed
    const auto walk = [&](uint32_t depth, const std::string& filter) {
        std::vector<resq::filter_entry> filters;
        resq::build_filter_list(filters, filter);
        std::istringstream unused;
        kxportdir::stdin_stream_ex reader(unused);
        lines found = {reader.open_dir(root.string(), depth, filters) ? "opened" : "refused"};
        for (std::string line; reader.read_line(line, true);) {
            found.push_back(fs::relative(line, root).string());
        }
        return found;
    };
    EXPECT_EQ(walk(1, ""), (lines{"opened", "m.log", "z.txt", "a/1.txt", "b/2.txt"}));
    EXPECT_EQ(walk(50, "*.txt,3,4"),
              (lines{"opened", "z.txt", "a/1.txt", "b/2.txt", "a/deep/3", "a/deep/deeper/4"}));
    root = root / "m.log";  // only a directory that can be listed is a start
    EXPECT_EQ(walk(1, ""), (lines{"refused"}));
    fs::remove_all(root.parent_path());
}

// Contains, begins with, ends with (the end of the name, whatever came before), in any case; exact
// names; a star entry (or no filter) takes all; a path pattern takes its directory and those below.
TEST(filter_matches, accepts_exactly_the_lines_the_patterns_describe) {
    // clang-format off
    const struct { const char* filter; const char* line; bool accepted; } cases[] = {
        {"*mail*", "Mail.Example", true}, {"*mail*", "web.test", false},
        {"*mail*", "x.gmail.com", true}, {"mail*", "mail.example", true},
        {"mail*", "webmail.example", false}, {"*.org", "example.org", true},
        {"*.com", "mail.company.com", true}, {"*abc", "abcabc", true},
        {"*.com", "a.com.org", false}, {"*.example.org", "e.org", false},
        {"a,b", "B", true}, {"a,b", "ab", false}, {"a|b", "b", true}, {"x*y", "xy", true},
        {"x*y", "xay", false}, {"a,*", "zzz", true}, {"", "zzz", true},
        {"*.log", "/var/log/app.log", true}, {"app*", "C:\\logs\\App.txt", true},
        {"/var/log", "/var/log/x", true}, {"/var/log", "/var/log/sub/x", true},
        {"/var/log", "/var/logs/x", false}};
    // clang-format on
    for (const auto& c : cases) {
        std::vector<resq::filter_entry> list;
        resq::build_filter_list(list, c.filter);
        EXPECT_EQ(resq::filter_matches(c.line, list), c.accepted) << c.filter << " " << c.line;
    }
}

}  // namespace
