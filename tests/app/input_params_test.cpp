#include "app/input_params.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace resq {
namespace {

constexpr const char* combination = "invalid combination of commands\n";
constexpr const char* no_server =
    "error: need to specify a DNS server to query using the format: -server <ipv4 addr>\n";

// The message when parsing fails, else the lookup it read: the name fields that are set, the
// query name and type, batch input, the server, the switches that are on and what is left over.
std::string outcome(const args& options) {
    input_params o;
    args list = {"resq"};
    list.insert(list.end(), options.begin(), options.end());
    std::ostringstream s;
    if (!o.parse_options(list, s)) {
        return s.str();
    }
    for (const auto& [name, field] : {std::pair{"url", &input_params::url_arg},
                                      {"ip", &input_params::ip_arg},
                                      {"mx", &input_params::mx_arg},
                                      {"txt", &input_params::txt_arg},
                                      {"ns", &input_params::ns_arg}}) {
        if (!(o.*field).empty()) {
            s << name << "=" << o.*field << " ";
        }
    }
    s << "[" << o.query_name << "] type " << o.query_type << (o.batch_input ? " batch" : "") << " @"
      << o.server << (o.xml_output ? " xml" : "") << (o.verbose ? " verbose" : "")
      << (o.ipv6 ? " ipv6" : "");
    for (std::size_t i = 1; i < list.size(); ++i) {
        s << " left " << list[i];
    }
    return s.str();
}

TEST(input_params, reads_one_lookup_form_and_refuses_two_or_a_missing_server) {
    const std::pair<args, std::string> cases[] = {
        {{"-url", "Example.org", "-SERVER", "1.2.3.4"},
         "url=Example.org [Example.org] type 1 @1.2.3.4"},
        {{"-ip", "x", "-server", "1.2.3.4"}, "ip=x [x] type 12 @1.2.3.4"},
        {{"-mx", "x", "-server", "1.2.3.4"}, "mx=x [x] type 15 @1.2.3.4"},
        {{"-txt", "x", "-server", "1.2.3.4"}, "txt=x [x] type 16 @1.2.3.4"},
        {{"-ns", "x", "-server", "1.2.3.4"}, "ns=x [x] type 2 @1.2.3.4"},
        {{"-CNAME", "x", "-server", "1.2.3.4"}, "ns=x [x] type 5 @1.2.3.4"},
        {{"-url", "a.org", "-mx", "b.org", "-server", "1.2.3.4"}, combination},
        {{"-mx", "b.org", "-url", "a.org", "-server", "1.2.3.4"}, combination},
        {{"-ns", "a.org", "-cname", "b.org", "-server", "1.2.3.4"}, combination},
        // The last batch form decides the type; a single form then adds its name.
        {{"-mx_pipe", "-url_pipe", "-server", "1.2.3.4"}, "[] type 15 batch @1.2.3.4"},
        {{"-url_pipe", "-mx", "x", "-server", "1.2.3.4"}, "mx=x [x] type 15 batch @1.2.3.4"},
        // Names from a directory walk replace standard input: only the type is taken.
        {{"-enumdir", "/tmp", "-txt_pipe", "-server", "1.2.3.4"}, "[] type 16 @1.2.3.4"},
        // An empty name sets nothing and leaves room for another form.
        {{"-url", "", "-server", "1.2.3.4"}, "[] type 1 @1.2.3.4"},
        {{"-ip", "", "-txt", "x", "-server", "1.2.3.4"}, "txt=x [x] type 16 @1.2.3.4"},
        {{"-url", "x"}, no_server},
        {{"-url", "x", "-server"}, no_server},
        {{"-url", "-server", "1.2.3.4"}, no_server},
        // The common options are read first: a failure there stops before the lookup options.
        {{"-sqlite", "x", "-url", "a.org", "-server", "1.2.3.4"},
         "This option is not offered in this build\n"},
        {{"-xml", "-url", "x", "-verbose", "-server", "1.2.3.4", "-ipv6", "-delay"},
         "url=x [x] type 1 @1.2.3.4 xml verbose ipv6 left -delay"},
    };
    for (const auto& [options, expected] : cases) {
        EXPECT_EQ(outcome(options), expected) << ::testing::PrintToString(options);
    }
}

TEST(input_params, reads_the_numbers_and_keeps_the_defaults_for_bad_ones) {
    const std::pair<const char*, const char*> cases[] = {{"0x0A", "10 10 10"}, {"012", "12 12 12"},
                                                         {"0o12", "10 10 10"}, {"abc", "1 0 0"},
                                                         {"-1", "-1 -1 -1"},   {"5s", "5 5 5"}};
    for (const auto& [text, expected] : cases) {
        input_params o;
        args list = {"resq", "-url",   "x",  "-server", "1.2.3.4", "-timeout",
                     text,   "-retry", text, "-delay",  text};
        ASSERT_TRUE(o.parse_options(list));
        EXPECT_EQ(std::to_string(o.timeout_secs) + " " + std::to_string(o.retries) + " " +
                      std::to_string(o.delay_secs),
                  expected)
            << text;
    }
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
