#include "app/input_params.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace resq {
namespace {

// The message when parsing fails, else what `options` (then "-server 127.1" unless they name one)
// set and differs from the defaults: the lookup (times in milliseconds), the report form
// (replacement pair 0: none; filters with their stars, "(path)", "(all)"), what is left over and
// the messages.
std::string outcome(const args& options) {
    input_params o;
    args list = {"resq"};
    list.insert(list.end(), options.begin(), options.end());
    if (std::ranges::find(options, "-server") == options.end()) {
        list.insert(list.end(), {"-server", "127.1"});
    }
    std::ostringstream err, s, lookup, form;
    if (!o.parse_options(list, err)) {
        return err.str();
    }
    endpoint typed;
    parse_endpoint(o.server, 53, typed);
    lookup << "[" << o.query_name << "] type " << o.query_type << (o.batch_input ? " batch" : "")
           << " @" << o.server << (o.server_endpoint == typed ? "" : " (not the address typed)")
           << (o.ipv6 ? " ipv6" : "") << (o.tcp ? " tcp" : "")
           << (o.tcp_fallback ? " tcp_fallback" : "")
           << (o.edns_size != 0 ? " edns " + std::to_string(o.edns_size) : "")
           << (o.exit_status ? " exit_status" : "")
           << (o.inflight != 1 ? " inflight " + std::to_string(o.inflight) : "")
           << (o.rate != 0 ? " rate " + std::to_string(o.rate) : "")
           << (o.pcap_path.empty() ? "" : " pcap " + o.pcap_path);
    if (o.timeout.count() != 1000 || o.retries != 0 || o.delay.count() != 0) {
        lookup << " numbers " << o.timeout.count() << " " << o.retries << " " << o.delay.count();
    }
    form << "[" << o.csv_separator << "] " << (o.replace_char ? o.replace_char : '0')
         << (o.replace_with ? o.replace_with : '0')
         << (o.format == report_format::xml ? " xml" : "")
         << (o.format == report_format::table ? " header" : "")
         << (o.format == report_format::json ? " json" : "") << (o.compact_output ? " compact" : "")
         << (o.keep_time_space ? " keep" : "") << (o.verbose ? " verbose" : "");
    s << (lookup.str() == "[] type 1 @127.1" ? "" : " " + lookup.str())
      << (form.str() == "[ | ] |; header keep" ? "" : " " + form.str());
    const kx::datetime_layout& layout = o.datetime_layout;
    if (layout.date_flags != (0x02 | 0x04 | 0x80) || layout.time_flags != 3 << 1) {
        s << " " << o.date_format << " " << o.time_format << " layout " << +layout.date_flags << "/"
          << +layout.time_flags;
    }
    for (const filter_entry& e : o.filter_list) {
        s << (&e == &o.filter_list.front() ? " filter " : " ") << (e.ends_with ? "*" : "")
          << e.pattern << (e.starts_with ? "*" : "") << (e.path_pattern ? "(path)" : "")
          << (e.match_all ? "(all)" : "");
    }
    s << (o.enumdir_set ? " enumdir " + o.enumdir_path + " " + std::to_string(o.num_subdirs) : "")
      << (o.out_path.empty() ? "" : " out " + o.out_path) << (o.append_output ? " append" : "");
    for (std::size_t i = 1; i < list.size(); ++i) {
        s << " left " << list[i];
    }
    const std::string text = s.str() + (err.str().empty() ? "" : " msg: " + err.str());
    return text.substr(text.empty() ? 0 : 1);
}

TEST(input_params, reads_each_option_in_a_fixed_order_and_refuses_what_cannot_run) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("resq_out_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string old = (dir / "old.txt").string(), diags = (dir / "diags.txt").string(),
                      missing = (dir / "missing" / "r.txt").string(),
                      fifo = (dir / "results.fifo").string();
    std::ofstream(old) << "earlier results\n";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::setenv("RESQ_T_DIR", dir.c_str(), 1);
    const std::string sqlite = "This option is not offered in this build\n",
                      two = "invalid combination of commands\n",
                      no_server =
                          "error: need to "
                          "specify a DNS server to query using the format: -server <ipv4 addr>\n";
    // clang-format off
    const std::pair<args, std::string> cases[] = {
        {{"-url", "Example.org"}, "[Example.org] type 1 @127.1"}, {{"-ip", "x"}, "[x] type 12 @127.1"},
        {{"-mx", "x"}, "[x] type 15 @127.1"}, {{"-txt", "x"}, "[x] type 16 @127.1"},
        {{"-ns", "x"}, "[x] type 2 @127.1"}, {{"-CNAME", "x"}, "[x] type 5 @127.1"},
        {{"-url", "a", "-mx", "b"}, two}, {{"-mx", "b", "-url", "a"}, two},
        {{"-ns", "a", "-cname", "b"}, two},
        {{"-url", "x", "-server"}, no_server}, {{"-url", "-server", "127.1"}, no_server},
        // The server is read when parsed; one typed with a port is shown in canonical form.
        {{"-url", "x", "-server", "0x7f.1:5353"}, "[x] type 1 @127.0.0.1:5353"},
        {{"-url", "x", "-server", "localhost"}, "invalid DNS server address: localhost\n"},
        {{"-url", "x", "-TCP", "-tcp_fallback"}, "[x] type 1 @127.1 tcp tcp_fallback"},
        // -edns alone, last or before another option, advertises 1232.
        {{"-EDNS"}, "[] type 1 @127.1 edns 1232"},
        {{"-edns", "-retry", "2"}, "[] type 1 @127.1 edns 1232 numbers 1000 2 0"},
        {{"-edns", "65535"}, "[] type 1 @127.1 edns 65535"},
        {{"-edns", "511"}, "invalid EDNS buffer size: 511 (512 to 65535)\n"},
        {{"-edns", "4k"}, "[4k] type 1 @127.1 edns 1232"},  // only digits are a size
        // Lookups in flight and the rate: decimal, within bounds; the rate takes fractions.
        {{"-pipe", "-inflight", "10000", "-rate", "0.5"},
         "[] type 1 batch @127.1 inflight 10000 rate 0.500000"},
        {{"-pipe", "-rate", "1000000"}, "[] type 1 batch @127.1 rate 1000000.000000"},
        {{"-pipe", "-inflight", "0"}, "invalid number of lookups in flight: 0 (1 to 10000)\n"},
        {{"-pipe", "-inflight", "0x10"}, "invalid number of lookups in flight: 0x10 (1 to 10000)\n"},
        {{"-pipe", "-rate", "0"}, "invalid query rate: 0 (0.001 to 1000000 a second)\n"},
        {{"-pipe", "-rate", "1e3"}, "invalid query rate: 1e3 (0.001 to 1000000 a second)\n"},
        {{"-pipe", "-rate", "nan"}, "invalid query rate: nan (0.001 to 1000000 a second)\n"},
        // -type sets the type of any lookup, by mnemonic in any letter case or by number.
        {{"-url", "x", "-type", "aaaa"}, "[x] type 28 @127.1"},
        {{"-pipe", "-type", "TYPE65"}, "[] type 65 batch @127.1"},
        {{"-mx_pipe", "-type", "65535"}, "[] type 65535 batch @127.1"},
        {{"-srv", "_sip._udp.x"}, "[_sip._udp.x] type 33 @127.1"},
        {{"-caa_pipe"}, "[] type 257 batch @127.1"},
        {{"-url", "x", "-type", "0"}, "unknown record type: 0\n"},
        {{"-url", "x", "-type", "AAA"}, "unknown record type: AAA\n"},
        {{"-url", "x", "-aaaa", "y"}, two},
        {{"-url", "x", "-server", ""}, "invalid DNS server address: \n"},
        // The last batch form decides the type; a single form then adds its name.
        {{"-mx_pipe", "-url_pipe"}, "[] type 15 batch @127.1"},
        {{"-url_pipe", "-mx", "x"}, "[x] type 15 batch @127.1"},
        // Names from a directory walk replace standard input: only the type is taken.
        {{"-enumdir", "/tmp", "-txt_pipe"}, "[] type 16 @127.1 enumdir /tmp 0"},
        // An empty name sets nothing and leaves room for another form.
        {{"-url", ""}, ""}, {{"-ip", "", "-txt", "x"}, "[x] type 16 @127.1"},
        // The common options are read first: a failure there stops before the lookup options.
        {{"-sqlite", "x", "-url", "a"}, sqlite}, {{"-sqlite", "x"}, sqlite},
        {{"-SQLITE_LOG", "x"}, sqlite},
        {{"-xml", "-url", "x", "-verbose", "-ipv6", "-delay"}, "[x] type 1 @127.1 ipv6 [] 00 xml keep "
         "verbose left -delay msg: ignoring unknown option: -delay\n"},
        // Numbers in each form, times to the millisecond; one that does not read keeps the default.
        {{"-url", "x", "-timeout", "0x0A", "-retry", "012", "-delay", "0o12"},
         "[x] type 1 @127.1 numbers 10000 12 10000"},
        {{"-url", "x", "-timeout", "abc", "-retry", "-1", "-delay", "5s"},
         "[x] type 1 @127.1 numbers 1000 -1 5000 msg: ignoring invalid -timeout value: abc (using "
         "1)\nignoring invalid -delay value: 5s (using 5)\n"},
        {{"-url", "x", "-timeout", "0.5", "-delay", "1.25"}, "[x] type 1 @127.1 numbers 500 0 1250"},
        {{"-url", "x", "-timeout", "two", "-retry", "1x", "-delay", "10seconds"}, "[x] type 1 @127.1 "
         "msg: ignoring invalid -timeout value: two (using 1)\nignoring invalid -retry value: 1x "
         "(using 0)\nignoring invalid -delay value: 10seconds (using 0)\n"},
        // Unknown are only the words no option took: option values may start with "-" too.
        {{"-url", "x", "-timout", "5", "-filter", "-x", "-retry", "-1", "-"},
         "[x] type 1 @127.1 numbers 1000 -1 0 filter -x left -timout left 5 left - msg: ignoring "
         "unknown option: -timout\nignoring unknown option: -\n"},
        // An XML document cannot be extended; the table can.
        {{"-url", "x", "-append"}, "[x] type 1 @127.1"},
        {{"-url", "x", "-xml", "-multiline", "-append"}, "[x] type 1 @127.1 [] 00 header keep"},
        {{"-url", "x", "-xml", "-APPEND"},
         "cannot append an XML report: use -append with the table or separated values\n"},
        // The report options, read in a fixed order: where two set the same field the later wins.
        {{"-csv", "-xml"}, "[] 00 xml compact keep"}, {{"-xml", "-csv"}, "[] 00 xml compact keep"},
        {{"-multiline", "-xml"}, "[] 00 header keep"},
        {{"-json", "-xml", "-multiline", "-csv", "-append", "-exit_status"},
         "[] type 1 @127.1 exit_status [] 00 json compact keep"},
        {{"-no_whitespace"}, "[|] |; header compact"},
        {{"-enable_quoted_csv_fields"}, "[|] 0; header"},
        {{"-csv_separator", ";"}, "[;] 00 header keep"},
        {{"-csv", "-multiline"}, "[] 00 header compact keep"},
        {{"-csv_separator", "|", "-csv"}, "[|] |; header compact keep"},
        {{"-csv", "-pair_datetime"}, "[,] ,  header keep yyyy-mm-dd hh:mm:ss.xxx layout 134/7"},
        {{"-csv_separator", "TAB"}, "[\t] 00 header keep"},
        {{"-csv_separator", "\\t"}, "[\t] 00 header keep"},
        {{"-csv_separator", "tab", "-enable_quoted_csv_fields"}, "[\t] 00 header"},
        // The first -verbose counts (-v only without one); other tools' options are taken off.
        {{"-v", "-threads", "4", "-gzip", "-filter_skip", "a", "-filter_skip", "b", "-quiet",
          "-VERBOSE", "-verbose"}, "[ | ] |; header keep verbose left -v left -verbose msg: "
         "ignoring unknown option: -v\nignoring unknown option: -verbose\n"},
        // Patterns are taken by length; one that does not compile leaves the default layout.
        {{"-dateformat", "MM/DD/YYYY", "-timeformat", "HH:MM:SS"},
         "mm/dd/yyyy hh:mm:ss layout 70/0"},
        {{"-dateformat", "yyyy/mm/dd/", "-timeformat", "hh-mm-ss"}, "msg: invalid yyyy/mm/dd/, "
         "using default format\ninvalid hh-mm-ss, using default format\n"},
        {{"-dateformat", "yyyy/dd/mm", "-timeformat", "hh:mm:ss"},
         "yyyy/dd/mm hh:mm:ss layout 0/0"},
        // Each -filter adds its entries (bars split before commas); a "*" entry replaces them all.
        {{"-filter", "*Mail*", "-filter", "mail*", "-filter", "*.org", "-filter", "x*y"},
         "filter *mail* mail* *.org xy"},
        {{"-filter", "/p", "-filter", "a,b|c", "-filter", "d,e"}, "filter /p(path) a,b c d e"},
        {{"-filter", "a|b", "-filter", "c", "-filter", "x|*"}, "filter (all)"},
        {{"-filter", "a", "-FILTER", "b|c", "-filter_path", "/Var/Log"},
         "filter /var/log /var/log /var/log"},
        {{"-filter_path", "/x"},
         "left -filter_path left /x msg: ignoring unknown option: -filter_path\n"},
        // Paths take %NAME% values and slashes for backslashes; the results file is only checked.
        {{"-enumdir", "%RESQ_T_DIR%", "-num_subdirs", "0x10", "-pipe"},
         "[] type 1 batch @127.1 enumdir " + dir.string() + " 16"},
        {{"-out", missing}, "prob opening file " + missing + " for output, aborting\n"},
        {{"-out", dir}, "prob opening file " + dir.string() + " for output, aborting\n"},
        {{"-out", "%RESQ_T_DIR%\\new.txt"}, "out " + (dir / "new.txt").string()},
        // A FIFO is not opened: with no reader there yet, that would wait.
        {{"-out", fifo}, "out " + fifo}, {{"-out", "/dev/null"}, "out /dev/null"},
        {{"-outfile", old, "-append", "-diags", diags, "-l2", "-url", "a b"},
         "[a b] type 1 @127.1 out " + old + " append"}};
    // clang-format on
    ::alarm(30);  // a check that waited on the FIFO ends the test instead of hanging it
    for (const auto& [options, expected] : cases) {
        EXPECT_EQ(outcome(options), expected) << ::testing::PrintToString(options);
    }
    ::alarm(0);
    std::stringstream files;
    files << std::ifstream(old).rdbuf() << "|" << std::ifstream(diags).rdbuf()
          << fs::exists(dir / "new.txt");
    EXPECT_EQ(files.str(), "earlier results\n|->resq -outfile " + old + " -append -diags " + diags +
                               " -l2 -url \"a b\" -server 127.1\n0");
    fs::remove_all(dir);
}

TEST(input_params, names_missing_values_numbers_that_do_not_read_and_one_file_for_two_uses) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("resq_same_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string report = (dir / "report").string(), link = (dir / "link").string();
    std::ofstream(report) << "earlier results\n";
    fs::create_symlink(report, link);
    const std::string same = "-out and -pcap name the same file: ";
    // clang-format off
    const std::pair<args, std::string> cases[] = {
        // A newer option's value is missing when last, empty or an option; "-1" and "-" are values.
        {{"-pcap"}, "missing value for -pcap\n"}, {{"-PCAP", "-json"}, "missing value for -pcap\n"},
        {{"-pcap", ""}, "missing value for -pcap\n"},
        {{"-pipe", "-inflight", "-rate", "2"}, "missing value for -inflight\n"},
        {{"-type", "-1"}, "unknown record type: -1\n"}, {{"-pcap", "-"}, "[] type 1 @127.1 pcap -"},
        // Of the original options only -out (also as -outfile) may not end the line.
        {{"-server", "127.1", "-outfile"}, "missing value for -out\n"},
        {{"-retry"}, "left -retry msg: ignoring unknown option: -retry\n"},
        // Numbers read as before, but named when they are not wholly numbers.
        {{"-timeout", "1.5s", "-retry", "+2"}, "[] type 1 @127.1 numbers 1500 2 0 msg: ignoring "
         "invalid -timeout value: 1.5s (using 1.5)\n"},
        {{"-enumdir", "/tmp", "-num_subdirs", "two"}, "enumdir /tmp 0 msg: ignoring invalid "
         "-num_subdirs value: two (using 0)\n"},
        // The same file by device and inode, else by its path made absolute and normal.
        {{"-out", link, "-pcap", report}, same + link + "\n"},
        {{"-out", (dir / "new").string(), "-pcap", dir.string() + "//./x/../new"},
         same + (dir / "new").string() + "\n"},
        {{"-out", (dir / "new").string(), "-pcap", fs::relative(dir / "new").string()},
         same + (dir / "new").string() + "\n"},
        {{"-out", report, "-pcap", dir.string() + "/new"},
         "[] type 1 @127.1 pcap " + dir.string() + "/new out " + report}};
    // clang-format on
    for (const auto& [options, expected] : cases) {
        EXPECT_EQ(outcome(options), expected) << ::testing::PrintToString(options);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace resq
