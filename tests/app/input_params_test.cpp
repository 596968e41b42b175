#include "app/input_params.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace resq {
namespace {

constexpr const char* combination = "invalid combination of commands\n";
constexpr const char* no_server =
    "error: need to specify a DNS server to query using the format: -server <ipv4 addr>\n";

// The message when parsing fails, else the lookup it read: the name fields that are set, the
// query name and type, batch input, the server, the switches that are on, the timeout, retry and
// delay (milliseconds) when they are not the defaults, what is left over and the messages.
std::string outcome(const args& options) {
    input_params o;
    args list = {"resq"};
    list.insert(list.end(), options.begin(), options.end());
    std::ostringstream s, err;
    if (!o.parse_options(list, err)) {
        return err.str();
    }
    using p = input_params;
    for (const auto& [name, field] : {std::pair{"url", &p::url_arg},
                                      {"ip", &p::ip_arg},
                                      {"mx", &p::mx_arg},
                                      {"txt", &p::txt_arg},
                                      {"ns", &p::ns_arg}}) {
        s << ((o.*field).empty() ? "" : name + ("=" + o.*field) + " ");
    }
    s << "[" << o.query_name << "] type " << o.query_type << (o.batch_input ? " batch" : "") << " @"
      << o.server << (o.xml_output ? " xml" : "") << (o.verbose ? " verbose" : "")
      << (o.ipv6 ? " ipv6" : "");
    if (o.timeout.count() != 1000 || o.retries != 0 || o.delay.count() != 0) {
        s << " numbers " << o.timeout.count() << " " << o.retries << " " << o.delay.count();
    }
    for (std::size_t i = 1; i < list.size(); ++i) {
        s << " left " << list[i];
    }
    return s.str() + (err.str().empty() ? "" : " msg: " + err.str());
}

TEST(input_params, reads_one_lookup_form_its_numbers_and_refuses_two_or_a_missing_server) {
    const std::pair<args, std::string> cases[] = {
        {{"-url", "Example.org", "-SERVER", "s"}, "url=Example.org [Example.org] type 1 @s"},
        {{"-ip", "x", "-server", "s"}, "ip=x [x] type 12 @s"},
        {{"-mx", "x", "-server", "s"}, "mx=x [x] type 15 @s"},
        {{"-txt", "x", "-server", "s"}, "txt=x [x] type 16 @s"},
        {{"-ns", "x", "-server", "s"}, "ns=x [x] type 2 @s"},
        {{"-CNAME", "x", "-server", "s"}, "ns=x [x] type 5 @s"},
        {{"-url", "a.org", "-mx", "b.org", "-server", "s"}, combination},
        {{"-mx", "b.org", "-url", "a.org", "-server", "s"}, combination},
        {{"-ns", "a.org", "-cname", "b.org", "-server", "s"}, combination},
        // The last batch form decides the type; a single form then adds its name.
        {{"-mx_pipe", "-url_pipe", "-server", "s"}, "[] type 15 batch @s"},
        {{"-url_pipe", "-mx", "x", "-server", "s"}, "mx=x [x] type 15 batch @s"},
        // Names from a directory walk replace standard input: only the type is taken.
        {{"-enumdir", "/tmp", "-txt_pipe", "-server", "s"}, "[] type 16 @s"},
        // An empty name sets nothing and leaves room for another form.
        {{"-url", "", "-server", "s"}, "[] type 1 @s"},
        {{"-ip", "", "-txt", "x", "-server", "s"}, "txt=x [x] type 16 @s"},
        {{"-url", "x"}, no_server},
        {{"-url", "x", "-server"}, no_server},
        {{"-url", "-server", "s"}, no_server},
        // The common options are read first: a failure there stops before the lookup options.
        {{"-sqlite", "x", "-url", "a.org", "-server", "s"},
         "This option is not offered in this build\n"},
        {{"-xml", "-url", "x", "-verbose", "-server", "s", "-ipv6", "-delay"},
         "url=x [x] type 1 @s xml verbose ipv6 left -delay msg: ignoring unknown option: -delay\n"},
        // Numbers in each form, times also as decimal fractions to the millisecond; one that does
        // not read keeps the default.
        {{"-url", "x", "-server", "s", "-timeout", "0x0A", "-retry", "012", "-delay", "0o12"},
         "url=x [x] type 1 @s numbers 10000 12 10000"},
        {{"-url", "x", "-server", "s", "-timeout", "abc", "-retry", "-1", "-delay", "5s"},
         "url=x [x] type 1 @s numbers 1000 -1 5000"},
        {{"-url", "x", "-server", "s", "-timeout", "0.5", "-delay", "1.25"},
         "url=x [x] type 1 @s numbers 500 0 1250"},
        {{"-url", "x", "-server", "s", "-timeout", ".5", "-delay", "-0.25"},
         "url=x [x] type 1 @s numbers 500 0 -250"},
        {{"-url", "x", "-server", "s", "-timeout", "two", "-retry", "1x", "-delay", "10seconds"},
         "url=x [x] type 1 @s"},
        // Only the words no option took are unknown: option values may start with "-" too.
        {{"-url", "x", "-server", "s", "-timout", "5", "-filter", "-x", "-retry", "-1", "-"},
         "url=x [x] type 1 @s numbers 1000 -1 0 left -timout left 5 left - msg: ignoring unknown "
         "option: -timout\nignoring unknown option: -\n"},
        // An XML document cannot be extended; the table can.
        {{"-url", "x", "-server", "s", "-append"}, "url=x [x] type 1 @s"},
        {{"-url", "x", "-server", "s", "-xml", "-multiline", "-append"}, "url=x [x] type 1 @s"},
        {{"-url", "x", "-server", "s", "-xml", "-APPEND"},
         "cannot append an XML report: use -append with the table or separated values\n"}};
    for (const auto& [options, expected] : cases) {
        EXPECT_EQ(outcome(options), expected) << ::testing::PrintToString(options);
    }
}

TEST(input_params, writes_the_usage_text_line_by_line) {
    std::ostringstream err;
    print_usage(err);
    EXPECT_EQ(err.str(),
              "-----------------------------------------------------------------------------\n\n"
              "resq 0.49 - DNS lookup reporter\n\n"
              "usage:\n"
              " \n"
              " resq -url <domain to lookup> -server <dns srv ip>\n"
              " resq -ip <ip addr to lookup> -server <dns srv ip>\n"
              " resq -mx <mail host to lookup> -server <dns srv ip>\n"
              " resq -ns <domain to lookup> -server <dns srv ip>\n"
              " resq -cname <domain to lookup> -server <dns srv ip>\n"
              " resq -txt <url to query> -server <dns srv ip>\n\n"
              "These versions use STDIN for piping in input:\n"
              " resq -url_pipe -server <dns srv ip>  \n"
              " resq -ip_pipe -server <dns srv ip>   \n"
              " resq -mx_pipe -server <dns srv ip>   \n"
              " resq -ns_pipe -server <dns srv ip>   \n"
              " resq -cname_pipe -server <dns srv ip>\n"
              " resq -txt_pipe -server <dns srv ip>  \n\n"
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
              "  -filter <*partial*>    = filters data from stdin using pipe\n\n"
              "example of using std input and redirecting the output to a file\n"
              " cat hosts.txt | ./resq -url_pipe -server 9.9.9.9 > ./results.txt\n\n");
}

}  // namespace
}  // namespace resq
