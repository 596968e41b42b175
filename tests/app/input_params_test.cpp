#include "app/input_params.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace resq {
namespace {

struct parsed {
    bool ok = false;
    input_params options;
    args rest;
    std::string messages;
};

parsed parse(args list) {
    parsed result;
    std::ostringstream err;
    result.ok = result.options.parse_options(list, err);
    result.rest = list;
    result.messages = err.str();
    return result;
}

constexpr const char* combination_message = "invalid combination of commands\n";
constexpr const char* server_message =
    "error: need to specify a DNS server to query using the format: -server <ipv4 addr>\n";

TEST(input_params, reset_sets_the_defaults_and_clears_three_base_flags) {
    input_params options;
    options.verbose = options.xml_output = options.batch_input = options.ipv6 = true;
    options.query_name = "stale";
    options.timeout_secs = options.retries = options.delay_secs = 7;
    options.reset();
    EXPECT_FALSE(options.verbose || options.xml_output || options.batch_input || options.ipv6);
    EXPECT_EQ(options.server, "9.9.9.9");
    EXPECT_EQ(options.query_name, "");
    EXPECT_EQ(options.timeout_secs, 1);
    EXPECT_EQ(options.retries, 0);
    EXPECT_EQ(options.delay_secs, 0);
    EXPECT_EQ(options.query_type, 1u);
    EXPECT_EQ(options.csv_separator, " | ");  // the common part is reset too
}

TEST(input_params, reads_each_single_form_into_its_field_and_type) {
    const struct {
        const char* option;
        uint32_t type;
        std::string input_params::*field;
    } cases[] = {
        {"-url", 1, &input_params::url_arg}, {"-ip", 12, &input_params::ip_arg},
        {"-mx", 15, &input_params::mx_arg},  {"-txt", 16, &input_params::txt_arg},
        {"-ns", 2, &input_params::ns_arg},   {"-CNAME", 5, &input_params::ns_arg},
    };
    for (const auto& c : cases) {
        const parsed p = parse({"resq", c.option, "Example.org", "-SERVER", "1.2.3.4"});
        ASSERT_TRUE(p.ok) << c.option << p.messages;
        EXPECT_EQ(p.options.query_name, "Example.org");
        EXPECT_EQ(p.options.*c.field, "Example.org");
        EXPECT_EQ(p.options.query_type, c.type) << c.option;
        EXPECT_EQ(p.options.server, "1.2.3.4");
        EXPECT_FALSE(p.options.batch_input);
        EXPECT_EQ(p.rest, (args{"resq"}));
    }
}

TEST(input_params, refuses_two_single_forms_in_either_order) {
    for (const args& list :
         {args{"resq", "-url", "a.org", "-mx", "b.org", "-server", "1.2.3.4"},
          args{"resq", "-mx", "b.org", "-url", "a.org", "-server", "1.2.3.4"},
          args{"resq", "-ns", "a.org", "-cname", "b.org", "-server", "1.2.3.4"}}) {
        const parsed p = parse(list);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.messages, combination_message);
    }
}

TEST(input_params, lets_the_last_batch_form_or_a_single_form_decide_the_type) {
    const struct {
        args list;
        bool batch;
        uint32_t type;
    } cases[] = {
        {{"resq", "-mx_pipe", "-url_pipe", "-server", "1.2.3.4"}, true, 15},
        {{"resq", "-url_pipe", "-mx", "example.org", "-server", "1.2.3.4"}, true, 15},
        {{"resq", "-enumdir", "/tmp", "-txt_pipe", "-server", "1.2.3.4"}, false, 16},
    };
    for (const auto& c : cases) {
        const parsed p = parse(c.list);
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.options.batch_input, c.batch);
        EXPECT_EQ(p.options.query_type, c.type);
    }
}

TEST(input_params, an_empty_single_form_sets_nothing_and_does_not_block_another) {
    parsed p = parse({"resq", "-url", "", "-server", "1.2.3.4"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.query_name, "");
    EXPECT_EQ(p.options.query_type, 1u);

    p = parse({"resq", "-ip", "", "-txt", "example.org", "-server", "1.2.3.4"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.query_name, "example.org");
    EXPECT_EQ(p.options.query_type, 16u);
}

TEST(input_params, needs_a_server) {
    for (const args& list :
         {args{"resq", "-url", "example.org"}, args{"resq", "-url", "example.org", "-server"},
          args{"resq", "-url", "-server", "1.2.3.4"}}) {
        const parsed p = parse(list);
        EXPECT_FALSE(p.ok);
        EXPECT_EQ(p.messages, server_message);
    }
}

TEST(input_params, stops_on_a_common_parser_failure_before_the_dns_options) {
    const parsed p = parse({"resq", "-sqlite", "x", "-url", "a.org", "-server", "1.2.3.4"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.messages, "This option is not offered in this build\n");
    EXPECT_EQ(p.options.query_name, "");
}

TEST(input_params, reads_the_numbers_and_keeps_defaults_for_bad_ones) {
    const struct {
        const char* text;
        int32_t expected;
    } cases[] = {{"0x0A", 10}, {"012", 12}, {"0o12", 10}, {"abc", 1}, {"-1", -1}, {"5s", 5}};
    for (const auto& c : cases) {
        const parsed p = parse({"resq", "-url", "a.org", "-server", "1.2.3.4", "-timeout", c.text,
                                "-retry", c.text, "-delay", c.text});
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.options.timeout_secs, c.expected) << c.text;
        EXPECT_EQ(p.options.retries, c.expected == 1 ? 0 : c.expected) << c.text;
        EXPECT_EQ(p.options.delay_secs, c.expected == 1 ? 0 : c.expected) << c.text;
    }
    const parsed p = parse({"resq", "-url", "a.org", "-server", "1.2.3.4", "-ipv6", "-delay"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.options.ipv6);
    EXPECT_EQ(p.options.delay_secs, 0);
    EXPECT_EQ(p.rest, (args{"resq", "-delay"}));
}

TEST(input_params, common_options_are_taken_before_the_dns_options_see_them) {
    const parsed p = parse({"resq", "-xml", "-url", "a.org", "-verbose", "-server", "1.2.3.4"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.options.xml_output);
    EXPECT_TRUE(p.options.verbose);
    EXPECT_EQ(p.options.query_name, "a.org");
}

TEST(input_params, writes_the_usage_text_line_by_line) {
    std::ostringstream err;
    print_usage(err);
    EXPECT_EQ(err.str(),
              "-----------------------------------------------------------------------------\n"
              "\n"
              "resq 0.49 - DNS lookup reporter\n"
              "\n"
              "usage:\n"
              " \n"
              " resq -url <domain to lookup> -server <dns srv ip>\n"
              " resq -ip <ip addr to lookup> -server <dns srv ip>\n"
              " resq -mx <mail host to lookup> -server <dns srv ip>\n"
              " resq -ns <domain to lookup> -server <dns srv ip>\n"
              " resq -cname <domain to lookup> -server <dns srv ip>\n"
              " resq -txt <url to query> -server <dns srv ip>\n"
              "\n"
              "These versions use STDIN for piping in input:\n"
              " resq -url_pipe -server <dns srv ip>  \n"
              " resq -ip_pipe -server <dns srv ip>   \n"
              " resq -mx_pipe -server <dns srv ip>   \n"
              " resq -ns_pipe -server <dns srv ip>   \n"
              " resq -cname_pipe -server <dns srv ip>\n"
              " resq -txt_pipe -server <dns srv ip>  \n"
              "\n"
              "Available options:\n"
              "  -timeout <in secs>\n"
              "  -retry <num>           = if we timeout, num of retries\n"
              "  -delay <secs>          = delay in secs between each query\n"
              "  -xml                   = output the data in xml format\n"
              "  -csv                   = output in comma separated value format\n"
              "  -verbose               = shows std::hex dump of packets (not in xml mode)\n"
              "  -no_whitespace         = remove whitespace between csv delimiter\n"
              "  -csv_separator \"|\"     = use a pipe char for csv separator\n"
              "  -dateformat mm/dd/yyyy = \"yyyy-mm-dd\" is the default\n"
              "  -timeformat hh:mm:ss   = \"hh:mm:ss.xxx\" is the default\n"
              "  -filter <*partial*>    = filters data from stdin using pipe\n"
              "\n"
              "example of using std input and redirecting the output to a file\n"
              " cat hosts.txt | ./resq -url_pipe -server 9.9.9.9 > ./results.txt\n"
              "\n");
}

}  // namespace
}  // namespace resq
