#include "app/query_run.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/failing_input.hpp"

namespace resq {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::size_t count(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        ++n;
    }
    return n;
}

struct run_result {
    int status = 0;
    std::string text;  // standard output, "|", the results file, "|", standard error
};

// resq::run on `arguments`, "-server 255.255.255.255" (a socket without SO_BROADCAST may not send
// there: every attempt fails at once, locally, with "sock err") and "-out" a file that holds
// "earlier\n" before; standard error is no terminal.
run_result run_with(const std::vector<std::string>& arguments, std::istream& input) {
    const fs::path file = fs::temp_directory_path() / ("resq_run_" + std::to_string(getpid()));
    std::ofstream(file) << "earlier\n";
    std::vector<const char*> argv = {"resq"};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.insert(argv.end(), {"-server", "255.255.255.255"});
    if (std::ranges::find(arguments, "-out") == arguments.end()) {
        argv.insert(argv.end(), {"-out", file.c_str()});
    }
    run_result result;
    std::ostringstream out, err;
    std::streambuf* saved[] = {std::cout.rdbuf(out.rdbuf()), std::cerr.rdbuf(err.rdbuf())};
    const int saved_stderr = ::dup(2), no_terminal = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(no_terminal, 2);
    result.status = run(static_cast<int>(argv.size()), argv.data(), input, run_hooks{});
    ::dup2(saved_stderr, 2);
    ::close(saved_stderr);
    ::close(no_terminal);
    std::cout.rdbuf(saved[0]);
    std::cerr.rdbuf(saved[1]);
    std::stringstream text;
    text << out.str() << "|" << std::ifstream(file).rdbuf() << "|" << err.str();
    result.text = text.str();
    fs::remove(file);
    return result;
}

// The delays themselves are the lookup engine's (lookup_engine_test.cpp); here they are short.
TEST(run, reports_every_attempt_of_every_name_and_its_messages) {
    const fs::path tree = fs::temp_directory_path() / ("resq_tree_" + std::to_string(getpid()));
    fs::create_directories(tree / "sub");
    std::ofstream(tree / "one") << "x";
    std::ofstream(tree / "sub" / "two") << "x";
    const std::string label(63, 'a'),
        long_line = std::string(5000, 'a') + "\n" + label + "a.b\nz\n";
    const std::string name_256 = label + "." + label + "." + label + "." + label;  // with the root
    const std::string earlier = "\n|earlier\n|", opening = earlier + "prob opening directory: ";
    testing_support::failing_input fails({"a\nb.example\nc.ex"}, EIO), fails_too = fails;
    std::istream broken(&fails), broken_too(&fails_too);
    std::istringstream names("a\nb\nc\n");               // for a report that cannot be written
    std::ifstream directory(fs::temp_directory_path());  // cannot be read at all
    // clang-format off
    const struct { std::vector<std::string> arguments; std::string input, text; std::size_t times;
                   int status; std::istream* stream = nullptr; } cases[] = {
        // One name: each attempt reported, with a delay after each failed one.
        {{"-url", "x", "-retry", "2", "-delay", "0.01"}, "", "sock err", 3, 0},
        {{"-url", "x", "-retry", "-1", "-delay", "1"}, "", "sock err", 0, 0},
        {{"-url", "x", "-delay", "-5"}, "", "sock err", 1, 0},
        {{"-url", "x", "-retry", "1", "-verbose"}, "", "-\n-", 2, 0},  // dashes frame a dump
        {{"-url", "x", "-retry", "2", "-json"}, "", "\"status\":\"sock err\",\"error\":\"not sent\"",
         3, 0},
        {{"-url", "x", "-retry", "1", "-exit_status"}, "", "sock err", 2, 2},
        // A batch: each accepted line as typed, one header, a delay after every name too.
        {{"-url_pipe", "-retry", "2", "-delay", "0.01"}, "a\nb\n", "DNSserv", 1, 0},
        {{"-url_pipe", "-delay", "1.5"}, "\n\r\n\n", "sock err", 0, 0},  // blank lines
        {{"-url_pipe", "-filter", "*mail*"}, "Mail.Example\nweb.test\n", "sock err", 1, 0},
        {{"-url_pipe", "-filter", "*mail*"}, "Mail.Example\nweb.test\n", "Mail.Example ", 1, 0},
        {{"-url_pipe", "-enumdir", tree}, "", (tree / "sub" / "two").string(), 1, 0},
        // A line that cannot become a query is named (its line, not its piece) and skipped.
        {{"-url_pipe"}, long_line, "sock err", 1, 0},
        {{"-url_pipe"}, long_line, "skipping line 2, prob building dns packet for: aaaa", 1, 0},
        {{"-url_pipe"}, name_256 + "\n", "skipping line 1, prob building dns packet", 1, 0},
        // Refused before the results file is opened: it stays, the header goes to standard output.
        {{"-url", name_256}, "", earlier + "prob building dns packet... aborting\n", 1, 255},
        {{"-url", name_256, "-json"}, "", earlier, 0, 255},  // no header in a JSON report
        {{"-url_pipe", "-enumdir", "/no/dir"}, "", opening + "/no/dir\n", 1, 255},
        {{"-url_pipe", "-enumdir", ""}, "", opening + "\n", 1, 255},
        {{"-url", "x", "-xml", "-append"}, "", earlier + "cannot append an XML report: use -append "
         "with the table or separated values\n", 1, 255},
        // A batch whose input or report fails ends there, its rows so far kept, its report closed.
        {{"-url_pipe", "-xml"}, "", "<query>b.example</query><status>sock", 1, 255, &broken},
        {{"-url_pipe", "-xml"}, "", "</logdata>\n|prob reading input: Input/output error\n", 1, 255,
         &broken_too},
        {{"-url_pipe"}, "", "|prob reading input: Is a directory\n", 1, 255, &directory},
        {{"-url_pipe", "-out", "/dev/full"}, "", "prob writing results to /dev/full\n", 1, 255,
         &names}};
    // clang-format on
    for (const auto& c : cases) {
        std::istringstream input(c.input);
        const run_result result = run_with(c.arguments, c.stream != nullptr ? *c.stream : input);
        const std::string trace = ::testing::PrintToString(c.arguments) + " " + c.text;
        EXPECT_EQ(result.status, c.status) << trace;
        EXPECT_EQ(count(result.text, c.text), c.times) << trace << "\n" << result.text;
    }
    fs::remove_all(tree);
    // Rows to a file leave in blocks: the failed write is seen when the first block leaves, here
    // at the end of the input.
    EXPECT_EQ(names.tellg(), -1);
}

TEST(run, version_prints_the_banner_before_any_other_option_is_read) {
    for (const std::string option : {"-version", "--version", "-VERSION"}) {
        std::istringstream input;
        // -edns 7 alone would stop the run with a message: the version comes first.
        const run_result result = run_with({option, "-edns", "7"}, input);
        EXPECT_EQ(result.status, 0) << option;
        EXPECT_EQ(result.text, std::string(banner) + "\n|earlier\n|") << option;
    }
}

TEST(print_error, erases_the_terminal_line_first_and_writes_no_over_long_message) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY), original = ::dup(2);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    const int other_end = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::dup2(other_end, 2);  // elsewhere in these tests standard error is no terminal
    std::ostringstream captured;
    std::streambuf* saved = std::cerr.rdbuf(captured.rdbuf());
    print_error("prob opening results file: %s for writing\n", "/x/y");
    print_error("%s", std::string(4097, 'a').c_str());
    std::cerr.rdbuf(saved);
    ::dup2(original, 2);
    for (const int descriptor : {original, other_end, terminal}) {
        ::close(descriptor);
    }
    EXPECT_EQ(captured.str(), "\x1b[2K\r" + std::string(27, ' ') +
                                  "\rprob opening results file: /x/y for writing\n");
}

}  // namespace
}  // namespace resq
