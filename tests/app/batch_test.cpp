#include "app/batch.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/run_fixture.hpp"

namespace {

using resq::testing_support::count;

struct batch_loop : resq::testing_support::run_fixture {
    batch_loop() {
        options.batch_input = true;
        options.csv_separator = ",";
        options.compact_output = true;
    }
    std::string run(const std::string& input_text) {
        std::istringstream input(input_text);
        std::ostringstream out;
        std::ostringstream errors;
        std::streambuf* saved = std::cerr.rdbuf(errors.rdbuf());
        resq::run_batch(out, attempt, query, options, input, hooks);
        std::cerr.rdbuf(saved);
        messages = errors.str();
        return out.str();
    }

    std::string messages;
};

TEST_F(batch_loop, sleeps_after_every_failed_attempt_and_after_every_name) {
    options.retries = 2;
    options.delay = std::chrono::seconds(1);
    const std::string report = run("a.example\nb.example\n");
    EXPECT_EQ(count(report, "sock err"), 6u);
    EXPECT_EQ(sleeps, std::vector(8, options.delay));
    options.retries = 0;
    options.delay = std::chrono::milliseconds(250);  // a fraction of a second, to the millisecond
    sleeps.clear();
    run("a.example\n");
    EXPECT_EQ(sleeps, std::vector(2, options.delay));
}

TEST_F(batch_loop, writes_the_header_once_for_many_names) {
    const std::string report = run("a\nb\nc\nd\n");
    EXPECT_EQ(count(report, "DNSserv"), 1u);
    EXPECT_EQ(count(report, "sock err"), 4u);
}

TEST_F(batch_loop, skips_blank_lines_without_a_delay) {
    options.delay = std::chrono::seconds(3);
    EXPECT_EQ(run("\n\r\n\n"), "");
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(batch_loop, looks_up_names_of_crlf_input_and_a_last_line_without_line_feed) {
    const std::string report = run("one.example\r\ntwo.example");
    EXPECT_EQ(count(report, "one.example,question"), 1u);
    EXPECT_EQ(count(report, "two.example,question"), 1u);
}

TEST_F(batch_loop, passes_a_line_of_spaces_to_the_query_builder_unchanged) {
    EXPECT_EQ(count(run("   \n"), "   ,question,sock err"), 1u);
}

TEST_F(batch_loop, looks_up_only_the_names_the_filter_accepts_as_typed) {
    resq::build_filter_list(options.filter_list, "*mail*");
    const std::string report = run("Mail.Example\nweb.test\n");
    EXPECT_EQ(count(report, "Mail.Example,"), 1u);
    EXPECT_EQ(count(report, "web.test"), 0u);
}

TEST_F(batch_loop, names_a_line_whose_query_cannot_be_built_and_goes_on) {
    const std::string report = run("ok.example\n" + std::string(64, 'x') + ".example\nlast\n");
    EXPECT_EQ(count(report, "sock err"), 2u);
    EXPECT_NE(messages.find("skipping line 2, prob building dns packet for: xxxx"),
              std::string::npos)
        << messages;
}

TEST_F(batch_loop, stops_when_the_report_can_no_longer_be_written) {
    std::istringstream input("a\nb\nc\n");
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(resq::run_batch(out, attempt, query, options, input, hooks));
    EXPECT_EQ(input.tellg(), 2);
}

TEST_F(batch_loop, looks_up_each_file_path_of_a_directory_walk) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("resq_batch_" + std::to_string(getpid()));
    fs::create_directories(root / "sub");
    std::ofstream(root / "one") << "x";
    std::ofstream(root / "sub" / "two") << "x";
    options.enumdir_set = true;
    options.enumdir_path = root.string();
    const std::string report = run("");
    fs::remove_all(root);
    EXPECT_EQ(count(report, "sock err"), 2u);
    EXPECT_EQ(count(report, (root / "sub" / "two").string()), 1u);
}

TEST(accept_line, refuses_an_empty_line_whatever_the_filters) {
    EXPECT_FALSE(resq::accept_line("", {}));
    EXPECT_TRUE(resq::accept_line("x", {}));
}

}  // namespace
