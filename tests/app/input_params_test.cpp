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
// delay when they are not the defaults, and what is left over.
std::string outcome(const args& options) {
    input_params o;
    args list = {"resq"};
    list.insert(list.end(), options.begin(), options.end());
    std::ostringstream s;
    if (!o.parse_options(list, s)) {
        return s.str();
    }
    using p = input_params;
    for (const auto& [name, field] : {std::pair{"url", &p::url_arg},
                                      {"ip", &p::ip_arg},
                                      {"mx", &p::mx_arg},
                                      {"txt", &p::txt_arg},
                                      {"ns", &p::ns_arg}}) {
        s << ((o.*field).empty() ? "" : name + ("=" + o.*field) + " ");
    }
    endpoint typed;
    parse_endpoint(o.server, 53, typed);
    s << "[" << o.query_name << "] type " << o.query_type << (o.batch_input ? " batch" : "") << " @"
      << o.server << (o.server_endpoint == typed ? "" : " (not the address typed)")
      << (o.format == report_format::xml ? " xml" : "") << (o.verbose ? " verbose" : "")
      << (o.ipv6 ? " ipv6" : "")
      << (o.edns_size != 0 ? " edns " + std::to_string(o.edns_size) : "");
    if (o.timeout_secs != 1 || o.retries != 0 || o.delay_secs != 0) {
        s << " numbers " << o.timeout_secs << " " << o.retries << " " << o.delay_secs;
    }
    for (std::size_t i = 1; i < list.size(); ++i) {
        s << " left " << list[i];
    }
    return s.str();
}

TEST(input_params, reads_one_lookup_form_its_numbers_and_refuses_two_or_a_missing_server) {
    const std::pair<args, std::string> cases[] = {
        {{"-url", "Example.org", "-SERVER", "127.1"},
         "url=Example.org [Example.org] type 1 @127.1"},
        {{"-ip", "x", "-server", "127.1"}, "ip=x [x] type 12 @127.1"},
        {{"-mx", "x", "-server", "127.1"}, "mx=x [x] type 15 @127.1"},
        {{"-txt", "x", "-server", "127.1"}, "txt=x [x] type 16 @127.1"},
        {{"-ns", "x", "-server", "127.1"}, "ns=x [x] type 2 @127.1"},
        {{"-CNAME", "x", "-server", "127.1"}, "ns=x [x] type 5 @127.1"},
        {{"-url", "a.org", "-mx", "b.org", "-server", "127.1"}, combination},
        {{"-mx", "b.org", "-url", "a.org", "-server", "127.1"}, combination},
        {{"-ns", "a.org", "-cname", "b.org", "-server", "127.1"}, combination},
        // The last batch form decides the type; a single form then adds its name.
        {{"-mx_pipe", "-url_pipe", "-server", "127.1"}, "[] type 15 batch @127.1"},
        {{"-url_pipe", "-mx", "x", "-server", "127.1"}, "mx=x [x] type 15 batch @127.1"},
        // Names from a directory walk replace standard input: only the type is taken.
        {{"-enumdir", "/tmp", "-txt_pipe", "-server", "127.1"}, "[] type 16 @127.1"},
        // An empty name sets nothing and leaves room for another form.
        {{"-url", "", "-server", "127.1"}, "[] type 1 @127.1"},
        {{"-ip", "", "-txt", "x", "-server", "127.1"}, "txt=x [x] type 16 @127.1"},
        {{"-url", "x"}, no_server},
        {{"-url", "x", "-server"}, no_server},
        {{"-url", "-server", "127.1"}, no_server},
        // The server is read when parsed: the text as typed is kept for the report.
        // The report shows an IPv4 address typed without a port as typed, any other canonical.
        {{"-url", "x", "-server", "0x7f.1:5353"}, "url=x [x] type 1 @127.0.0.1:5353"},
        {{"-url", "x", "-server", "[0::1]:53"}, "url=x [x] type 1 @::1"},
        {{"-url", "x", "-server", "localhost"}, "invalid DNS server address: localhost\n"},
        {{"-url", "x", "-server", ""}, "invalid DNS server address: \n"},
        // The common options are read first: a failure there stops before the lookup options.
        {{"-sqlite", "x", "-url", "a.org", "-server", "127.1"},
         "This option is not offered in this build\n"},
        {{"-xml", "-url", "x", "-verbose", "-server", "127.1", "-ipv6", "-delay"},
         "url=x [x] type 1 @127.1 xml verbose ipv6 left -delay"},
        // Numbers in each form; one that does not read keeps the default.
        {{"-url", "x", "-server", "127.1", "-timeout", "0x0A", "-retry", "012", "-delay", "0o12"},
         "url=x [x] type 1 @127.1 numbers 10 12 10"},
        {{"-url", "x", "-server", "127.1", "-timeout", "abc", "-retry", "-1", "-delay", "5s"},
         "url=x [x] type 1 @127.1 numbers 1 -1 5"},
        // -edns alone, last or before another option, advertises 1232.
        {{"-server", "127.1", "-EDNS"}, "[] type 1 @127.1 edns 1232"},
        {{"-edns", "-retry", "2", "-server", "127.1"}, "[] type 1 @127.1 edns 1232 numbers 1 2 0"},
        {{"-edns", "65535", "-server", "127.1"}, "[] type 1 @127.1 edns 65535"},
        {{"-server", "127.1", "-edns", "511"}, "invalid EDNS buffer size: 511 (512 to 65535)\n"},
        {{"-server", "127.1", "-edns", "4k"}, "invalid EDNS buffer size: 4k (512 to 65535)\n"}};
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
              "  -edns [size]           = send an EDNS(0) OPT record; size 512 to 65535, 1232 if "
              "omitted\n"
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
