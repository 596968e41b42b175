#include "app/query_run.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "dns/query_builder.hpp"
#include "tests/app/run_fixture.hpp"
#include "tests/support/failing_input.hpp"

namespace {

using resq::testing_support::count;

struct attempt_loop : resq::testing_support::run_fixture {
    attempt_loop() { EXPECT_TRUE(resq::build_query(query, "www.example", 1)); }
    std::string run() {
        std::ostringstream out;
        resq::run_query(out, attempt, query, options, hooks);
        return out.str();
    }
};

TEST_F(attempt_loop, reports_every_attempt_and_sleeps_after_each_failed_one) {
    options.retries = 2;
    options.delay = std::chrono::milliseconds(1500);
    const std::string report = run();
    EXPECT_EQ(count(report, "sock err"), 3u);
    EXPECT_EQ(sleeps, std::vector(3, options.delay));
}

TEST_F(attempt_loop, writes_the_column_header_once_for_all_attempts) {
    options.retries = 2;
    const std::string report = run();
    EXPECT_EQ(count(report, "DNSserv"), 1u);
    EXPECT_FALSE(options.header_pending);
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(attempt_loop, makes_no_attempt_for_a_negative_retry_count) {
    options.retries = -1;
    options.delay = std::chrono::seconds(1);
    EXPECT_EQ(run(), "");
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(attempt_loop, never_sleeps_for_a_negative_delay) {
    options.delay = std::chrono::seconds(-5);
    run();
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(attempt_loop, follows_each_attempt_with_the_verbose_block_unless_xml) {
    options.verbose = true;
    options.retries = 1;
    EXPECT_EQ(count(run(), std::string(79, '-')), 4u);
    options.xml_output = true;
    const std::string xml = run();
    EXPECT_EQ(count(xml, std::string(79, '-')), 0u);
    EXPECT_EQ(count(xml, "<status>sock err</status>"), 2u);
}

TEST(print_error, erases_the_terminal_line_only_on_a_terminal) {
    const auto printed_with_stderr_on = [](int descriptor) {
        std::ostringstream captured;
        std::streambuf* saved = std::cerr.rdbuf(captured.rdbuf());
        const int original = ::dup(2);
        ::dup2(descriptor, 2);
        resq::print_error("prob opening results file: %s for writing\n", "/x/y");
        resq::print_error("%s", std::string(4097, 'a').c_str());  // too long: not written
        ::dup2(original, 2);
        ::close(original);
        std::cerr.rdbuf(saved);
        return captured.str();
    };
    const std::string message = "prob opening results file: /x/y for writing\n";
    const int file = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    EXPECT_EQ(printed_with_stderr_on(file), message);
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    const int other_end = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY | O_CLOEXEC);
    EXPECT_EQ(printed_with_stderr_on(other_end),
              "\x1b[2K\r" + std::string(27, ' ') + "\r" + message);
    for (const int descriptor : {file, other_end, terminal}) {
        ::close(descriptor);
    }
}

// resq::run on `arguments` with standard output and error captured: the exit status, standard
// output, "|", standard error.
std::pair<int, std::string> run_captured(std::vector<const char*> arguments,
                                         std::istream& input = std::cin,
                                         std::function<bool()> wait_input = {}) {
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* saved_out = std::cout.rdbuf(out.rdbuf());
    std::streambuf* saved_err = std::cerr.rdbuf(err.rdbuf());
    const int status = resq::run(static_cast<int>(arguments.size()), arguments.data(), input,
                                 {[](std::chrono::milliseconds) {}, std::move(wait_input)});
    std::cout.rdbuf(saved_out);
    std::cerr.rdbuf(saved_err);
    return {status, out.str() + "|" + err.str()};
}

// Runs resq with `arguments` and a results file that holds "earlier\n" before the run, which a
// run refused before the file is opened leaves alone; its header goes to standard output.
void expect_refused_before_opening_the_results_file(std::vector<const char*> arguments,
                                                    const std::string& message) {
    const std::string file =
        (std::filesystem::temp_directory_path() / ("resq_run_" + std::to_string(getpid())))
            .string();
    std::ofstream(file) << "earlier\n";
    arguments.insert(arguments.end(), {"-server", "not-an-address", "-out", file.c_str()});
    const auto [status, text] = run_captured(arguments);
    std::stringstream content;
    content << std::ifstream(file).rdbuf();
    std::filesystem::remove(file);
    EXPECT_EQ(status, resq::exit_failure);
    EXPECT_TRUE(text.starts_with(resq::banner)) << text;
    EXPECT_TRUE(text.ends_with("\n\n|" + message)) << text;
    EXPECT_EQ(content.str(), "earlier\n");
}

TEST(run, refuses_to_append_an_xml_report_and_leaves_the_results_file_alone) {
    expect_refused_before_opening_the_results_file(
        {"resq", "-url", "x", "-xml", "-append"},
        "cannot append an XML report: use -append with the table or separated values\n");
}

TEST(run, refuses_a_directory_walk_that_cannot_start) {
    expect_refused_before_opening_the_results_file(
        {"resq", "-url_pipe", "-enumdir", "/nonexistent/resq/dir"},
        "prob opening directory: /nonexistent/resq/dir\n");
    expect_refused_before_opening_the_results_file({"resq", "-url_pipe", "-enumdir", "/dev/null"},
                                                   "prob opening directory: /dev/null\n");
}

TEST(run, ends_a_batch_whose_input_cannot_be_read_keeping_its_rows_and_closing_the_report) {
    const std::string file =
        (std::filesystem::temp_directory_path() / ("resq_run_" + std::to_string(getpid())))
            .string();
    const std::vector<const char*> arguments = {"resq", "-url_pipe", "-server",   "not-an-address",
                                                "-xml", "-out",      file.c_str()};
    resq::testing_support::failing_input fails({"a.example\nb.example\nc.ex"}, EIO);
    std::istream broken(&fails);
    auto [status, text] = run_captured(arguments, broken);
    std::stringstream content;
    content << std::ifstream(file).rdbuf();
    EXPECT_EQ(status, resq::exit_failure);
    EXPECT_TRUE(text.ends_with("|prob reading input: Input/output error\n")) << text;
    EXPECT_EQ(count(content.str(), "<status>sock err</status>"), 2u) << content.str();
    EXPECT_TRUE(content.str().ends_with("</logdata>\n")) << content.str();
    std::ifstream directory(std::filesystem::temp_directory_path());
    std::tie(status, text) = run_captured(arguments, directory);
    EXPECT_TRUE(status == resq::exit_failure && text.ends_with("input: Is a directory\n")) << text;
    int waits = 0;  // an input with nothing in it yet is waited for
    resq::testing_support::failing_input empty_for_now({"a.example\n", "b.example\n"}, EAGAIN);
    std::istream slow(&empty_for_now);
    std::tie(status, text) = run_captured(arguments, slow, [&waits] { return ++waits > 0; });
    content.str("");
    content << std::ifstream(file).rdbuf();
    std::filesystem::remove(file);
    EXPECT_TRUE(status == resq::exit_ok && waits == 2) << text;
    EXPECT_EQ(count(content.str(), "<status>sock err</status>"), 2u) << content.str();
}

}  // namespace
