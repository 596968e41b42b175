#include "app/input_params.hpp"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <fstream>
#include <optional>
#include <sstream>
#include <type_traits>
#include <utility>
#include <vector>

#include "dns/exchange.hpp"
#include "dns/record_types.hpp"
#include "support/kx_string.hpp"

namespace resq {

namespace {

struct lookup_form {
    std::string_view option;
    uint32_t type;
    std::string input_params::*field;
};

// Batch forms in the order they are tested: when several are given the last one found decides.
constexpr std::array<lookup_form, 11> batch_forms = {{
    {"-url_pipe", type_a, nullptr},
    {"-ip_pipe", type_ptr, nullptr},
    {"-mx_pipe", type_mx, nullptr},
    {"-ns_pipe", type_ns, nullptr},
    {"-cname_pipe", type_cname, nullptr},
    {"-txt_pipe", type_txt, nullptr},
    {"-aaaa_pipe", type_aaaa, nullptr},
    {"-soa_pipe", type_soa, nullptr},
    {"-srv_pipe", type_srv, nullptr},
    {"-caa_pipe", type_caa, nullptr},
    {"-any_pipe", type_any, nullptr},
}};

constexpr std::array<lookup_form, 11> single_forms = {{
    {"-url", type_a, &input_params::url_arg},
    {"-ip", type_ptr, &input_params::ip_arg},
    {"-mx", type_mx, &input_params::mx_arg},
    {"-txt", type_txt, &input_params::txt_arg},
    {"-ns", type_ns, &input_params::ns_arg},
    {"-cname", type_cname, &input_params::ns_arg},
    {"-aaaa", type_aaaa, &input_params::name_arg},
    {"-soa", type_soa, &input_params::name_arg},
    {"-srv", type_srv, &input_params::name_arg},
    {"-caa", type_caa, &input_params::name_arg},
    {"-any", type_any, &input_params::name_arg},
}};

// The type of -type: a mnemonic in any letter case ("aaaa", "TYPE65") or a number 1 to 65535.
std::optional<uint16_t> read_type(std::string_view text) {
    uint32_t number = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (error == std::errc() && stop == end) {
        return number >= 1 && number <= UINT16_MAX ? std::optional<uint16_t>(number) : std::nullopt;
    }
    const std::optional<uint16_t> named = type_number(text);
    return named && *named != 0 ? named : std::nullopt;
}

// The usage text up to its example line, which names the default server.
constexpr std::array<std::string_view, 88> usage_lines = {
    "-----------------------------------------------------------------------------",
    "",
    banner,
    "",
    "usage:",
    " ",
    " resq -url <domain to lookup> -server <dns srv ip>",
    " resq -ip <ip addr to lookup> -server <dns srv ip>",
    " resq -mx <mail host to lookup> -server <dns srv ip>",
    " resq -ns <domain to lookup> -server <dns srv ip>",
    " resq -cname <domain to lookup> -server <dns srv ip>",
    " resq -txt <url to query> -server <dns srv ip>",
    " resq -aaaa|-soa|-srv|-caa|-any <domain to lookup> -server <dns srv ip>",
    " resq -url <domain to lookup> -type <type> -server <dns srv ip>",
    "",
    "These versions use STDIN for piping in input:",
    " resq -url_pipe -server <dns srv ip>  ",
    " resq -ip_pipe -server <dns srv ip>   ",
    " resq -mx_pipe -server <dns srv ip>   ",
    " resq -ns_pipe -server <dns srv ip>   ",
    " resq -cname_pipe -server <dns srv ip>",
    " resq -txt_pipe -server <dns srv ip>  ",
    " resq -aaaa_pipe|-soa_pipe|-srv_pipe|-caa_pipe|-any_pipe -server <dns srv ip>",
    " resq -pipe -type <type> -server <dns srv ip>",
    "",
    "Available options:",
    "  -timeout <in secs>",
    "  -retry <num>           = if we timeout, num of retries",
    "  -delay <secs>          = delay in secs between each query",
    "  -inflight <n>          = lookups of a batch in flight at once, 1 to 10000 (1)",
    "  -rate <qps>            = send at most qps queries a second (fractions allowed);",
    "                           retries included, one by one or with -inflight",
    "  -tcp                   = send every query over TCP",
    "  -tcp_fallback          = retry over TCP when a UDP reply is truncated",
    "  -edns [size]           = send an EDNS(0) OPT record; size 512 to 65535, 1232 if omitted",
    "  -pcap <file>           = write every message sent and received to a pcap file",
    "  -progress              = show the progress line of a batch even when not on a terminal",
    "  -quiet                 = no progress line and no summary unless asked for",
    "  -summary               = write a summary of a batch to standard error",
    "  -type <type>           = query type of every lookup: A, AAAA, SRV, TYPE65, 65, ...",
    "  -xml                   = output the data in xml format",
    "  -csv                   = output in comma separated value format",
    "  -json                  = one JSON object per attempt (JSON Lines)",
    "  -exit_status           = exit 1 if some lookups got no reply, 2 if none did",
    "  -verbose               = shows std::hex dump of packets (not in xml mode)",
    "  -no_whitespace         = remove whitespace between csv delimiter",
    "  -csv_separator \"|\"     = use a pipe char for csv separator",
    "  -dateformat mm/dd/yyyy = \"yyyy-mm-dd\" is the default",
    "  -timeformat hh:mm:ss   = \"hh:mm:ss.xxx\" is the default",
    "  -filter <*partial*>    = filters data from stdin using pipe",
    "  -filter_path <text>    = turns the -filter patterns into path patterns",
    "  -enumdir <dir>         = look up the paths of the files under dir, not stdin",
    "  -num_subdirs <n>       = levels below -enumdir, 1 by default",
    "  -out <file>            = write the report to file (also -outfile <file>)",
    "  -append                = with -out, add to the end of the file",
    "  -diags <file>          = write the command line to file",
    "  -v                     = same as -verbose",
    "  -csvgen, -csvl2t, -bodyfile, -pair_datetime, -multiline, -enable_quoted_csv_fields",
    "                         = more separated-value forms (see man resq)",
    "  -ipv6                  = accepted and ignored: the -server address decides",
    "  -class <class>         = query class: IN, CH, HS, NONE, ANY or 0 to 65535 (IN)",
    "  -norecurse             = clear RD: ask for no recursion",
    "  -adflag                = set AD: ask whether the server validated the answer",
    "  -cd                    = set CD: ask the server to skip DNSSEC validation",
    "  -dnssec                = set the DO bit (implies -edns)",
    "  -nsid                  = ask for the server's NSID (implies -edns)",
    "  -subnet <addr[/len]>   = send a client subnet, /24 or /56 if omitted; 0/0 opts out",
    "                           (implies -edns)",
    "  -cookie                = send a client cookie, echo the server's (implies -edns)",
    "  -fields <list>         = columns of the table or csv, in this order, comma-separated:",
    "                           query comment status id DNSserv date time type tname class",
    "                           ttl size data rcode flags rtt transport attempt line rdata",
    "  -short                 = the data of each answer alone, one a line (batch: name, tab);",
    "                           a lookup without an answer is named on standard error",
    "  -server <addr[:port]>  = given again: one more server; lookups take the servers in turn,",
    "                           a retry the next one",
    "  -servers <file>        = more servers, one \"ADDRESS[:PORT]\" a line (# comments)",
    "  -source <addr>         = send every query from this local address",
    "  -f <file>              = read the names of a batch from file (- for stdin);",
    "                           the type from the lookup form or -type, A if neither",
    "  -typed_lines           = batch lines are NAME [TYPE], as in dnsperf query files",
    "  -idn                   = send names with non-ASCII characters as A-labels",
    "  -shard K/N             = take input lines K, K+N, K+2N... of a batch (K from 1)",
    " resq NAME [@SERVER] [TYPE] [options] = -url NAME -server SERVER -type TYPE",
    "  -h, -help, --help, /?  = this text",
    "  -version, --version    = print the version line and exit",
    "",
    "example of using std input and redirecting the output to a file",
};

void read_number(std::string_view option, int32_t& field, args& list) {
    std::string value;
    if (get_option_value(option, value, list)) {
        parse_number(value, field);
    }
}

void read_seconds(std::string_view option, std::chrono::milliseconds& field, args& list) {
    std::string value;
    if (get_option_value(option, value, list)) {
        parse_seconds(value, field);
    }
}

// The UDP payload size `-edns` alone advertises: what fits in one unfragmented datagram on most
// paths (the DNS Flag Day 2020 value).
constexpr uint16_t default_edns_size = 1232;
// RFC 6891 6.2.5: values below 512 are treated as 512.
constexpr uint32_t min_edns_size = 512;

// "-edns SIZE", or "-edns" alone (last, or followed by another option) for the default size;
// false, with the message written, for a size that is not 512 to 65535 in decimal.
bool read_edns_size(args& list, uint16_t& size, std::ostream& err) {
    args rest = list;
    std::string value;
    // Only digits are a size (a minus before them an invalid one), so that a name or an @SERVER
    // after -edns stays what it is.
    const bool found = get_option_value("-edns", value, rest);
    const std::string_view digits = std::string_view(value).substr(value.starts_with('-') ? 1 : 0);
    const bool valued = found && !digits.empty() &&
                        digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (!valued) {
        if (has_option("-edns", list)) {
            size = default_edns_size;
        }
        return true;
    }
    list = std::move(rest);
    uint32_t number = 0;
    const char* const end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    if (error != std::errc() || stop != end || number < min_edns_size || number > UINT16_MAX) {
        err << "invalid EDNS buffer size: " << value << " (512 to 65535)\n";
        return false;
    }
    size = static_cast<uint16_t>(number);
    return true;
}

// The most lookups -inflight keeps in flight, and the bounds of -rate.
constexpr uint32_t max_inflight = 10000;
constexpr double min_rate = 0.001;
constexpr double max_rate = 1000000;

// "OPTION VALUE" with VALUE a decimal number from `low` to `high` (a fraction when Number is a
// floating type): false, with "invalid WHAT: VALUE (RANGE)" written, for any other VALUE.
template <typename Number>
bool read_bounded(args& list, std::string_view option, Number low, Number high,
                  std::string_view what, std::string_view range, Number& field, std::ostream& err) {
    std::string value;
    if (!get_option_value(option, value, list)) {
        return true;
    }
    Number number{};
    const char* const end = value.data() + value.size();
    std::from_chars_result read{};
    if constexpr (std::is_floating_point_v<Number>) {
        read = std::from_chars(value.data(), end, number, std::chars_format::fixed);
    } else {
        read = std::from_chars(value.data(), end, number);
    }
    if (read.ec != std::errc() || read.ptr != end || !(number >= low && number <= high)) {
        err << "invalid " << what << ": " << value << " (" << range << ")\n";
        return false;
    }
    field = number;
    return true;
}

// The class of -class: IN, CH, HS, NONE or ANY in any letter case, or a number 0 to 65535.
std::optional<uint16_t> read_class(std::string_view text) {
    constexpr std::pair<std::string_view, uint16_t> names[] = {
        {"in", 1}, {"ch", 3}, {"hs", 4}, {"none", 254}, {"any", 255}};
    for (const auto& [name, number] : names) {
        if (to_lower(text) == name) {
            return number;
        }
    }
    uint32_t number = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end || number > UINT16_MAX) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(number);
}

// The header and EDNS controls; those that need an OPT record bring one of the default size
// when -edns gave none. False, with the message written, for a class or subnet that does not
// read.
bool read_edns_options(args& list, input_params& options, std::ostream& err) {
    query_options& controls = options.query_controls;
    if (std::string text; get_option_value("-class", text, list)) {
        const std::optional<uint16_t> number = read_class(text);
        if (!number) {
            err << "invalid query class: " << text << '\n';
            return false;
        }
        controls.qclass = *number;
    }
    if (std::string text; get_option_value("-subnet", text, list)) {
        client_subnet subnet;
        if (!parse_client_subnet(text, subnet)) {
            err << "invalid client subnet: " << text << '\n';
            return false;
        }
        controls.subnet = std::move(subnet);
    }
    controls.recursion_desired = !has_option("-norecurse", list);
    controls.authentic_data = has_option("-adflag", list);
    controls.checking_disabled = has_option("-cd", list);
    controls.dnssec_ok = has_option("-dnssec", list);
    controls.nsid = has_option("-nsid", list);
    options.cookie = has_option("-cookie", list);
    if (options.edns_size == 0 &&
        (controls.dnssec_ok || controls.nsid || controls.subnet || options.cookie)) {
        options.edns_size = default_edns_size;
    }
    controls.edns_size = options.edns_size;
    return true;
}

// -fields LIST and -short; false, with the message written, for an unknown, empty or repeated
// field name, or for a form that cannot show what they choose.
bool read_report_options(args& list, input_params& options, std::ostream& err) {
    report_view& view = options.view;
    // Read first: a run stopped by a bad -fields then shows no header block either.
    view.short_answers = has_option("-short", list);
    std::string names;
    const bool chosen = get_option_value("-fields", names, list);
    if (std::string bad; chosen && !parse_report_fields(names, view.fields, bad)) {
        err << "unknown field: " << bad << '\n';
        return false;
    }
    const bool document = options.format != report_format::table;
    if (chosen && document) {
        err << "-fields chooses columns of the table and separated values: not with -xml or "
               "-json\n";
        return false;
    }
    if (view.short_answers && (document || chosen || options.compact_output || options.verbose)) {
        err << "-short writes the data alone: not with -json, -xml, -csv, -fields or -verbose\n";
        return false;
    }
    return true;
}

// The servers of a -servers file: one "ADDRESS[:PORT] [TLS_NAME]" a line, as -server takes the
// address; blank lines and what follows a "#" are passed over. The second word is read and not
// used. False, with the file and line named, for a line that is anything else.
bool read_server_file(const std::string& path, std::vector<server_entry>& servers,
                      std::ostream& err) {
    std::ifstream file(path);
    if (!file) {
        err << "cannot read the server list: " << path << '\n';
        return false;
    }
    std::string line;
    for (uint64_t number = 1; std::getline(file, line); ++number) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string address;
        std::string tls_name;
        std::string extra;
        words >> address >> tls_name >> extra;
        endpoint parsed;
        if (address.empty()) {
            continue;
        }
        if (!extra.empty() || !parse_endpoint(address, dns_port, parsed)) {
            err << path << ':' << number << ": invalid DNS server line: " << line << '\n';
            return false;
        }
        servers.push_back({display_text(address, parsed, dns_port), parsed});
    }
    return true;
}

// Every server after the first -server (more -server options, then the -servers files), and
// -source, which must be an address without a port, of the family of every server.
bool read_server_options(args& list, input_params& options, std::ostream& err) {
    std::vector<server_entry>& servers = options.servers;
    if (options.server_endpoint.family() != AF_UNSPEC) {
        servers.insert(servers.begin(), {options.server, options.server_endpoint});
    }
    for (std::string text; get_option_value("-server", text, list);) {
        endpoint address;
        if (!parse_endpoint(text, dns_port, address)) {
            err << "invalid DNS server address: " << text << '\n';
            return false;
        }
        servers.push_back({display_text(text, address, dns_port), address});
    }
    for (std::string path; get_option_value("-servers", path, list);) {
        if (!read_server_file(path, servers, err)) {
            return false;
        }
    }
    if (servers.empty()) {
        err << "error: the server list holds no DNS server\n";
        return false;
    }
    options.server = servers.front().text;
    options.server_endpoint = servers.front().address;

    std::string source;
    if (!get_option_value("-source", source, list)) {
        return true;
    }
    // A port would be shared by every attempt: each has its own, which the kernel picks.
    const bool port_typed = source.starts_with('[') || std::ranges::count(source, ':') == 1;
    if (port_typed || !parse_endpoint(source, 0, options.source_endpoint)) {
        err << "invalid source address: " << source << " (an address without a port)\n";
        return false;
    }
    for (const server_entry& server : servers) {
        if (server.address.family() != options.source_endpoint.family()) {
            err << "source address " << source << " cannot reach DNS server " << server.text
                << ": another address family\n";
            return false;
        }
    }
    return true;
}

// Reads a server address once, so that a mistyped one stops the run before any lookup.
bool set_server(input_params& options, const std::string& text, std::ostream& err) {
    if (!parse_endpoint(text, dns_port, options.server_endpoint)) {
        err << "invalid DNS server address: " << text << '\n';
        return false;
    }
    options.server = display_text(text, options.server_endpoint, dns_port);
    return true;
}

// A dig-style @SERVER: the server when none was named yet, else one more of the list.
bool add_server(input_params& options, const std::string& text, std::ostream& err) {
    if (options.server_endpoint.family() == AF_UNSPEC) {
        return set_server(options, text, err);
    }
    endpoint address;
    if (!parse_endpoint(text, dns_port, address)) {
        err << "invalid DNS server address: " << text << '\n';
        return false;
    }
    options.servers.push_back({display_text(text, address, dns_port), address});
    return true;
}

// "K/N" of -shard: 1 <= K <= N, both decimal.
bool read_shard(std::string_view text, uint64_t& index, uint64_t& count) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return false;
    }
    const auto whole = [](std::string_view part, uint64_t& number) {
        const char* const end = part.data() + part.size();
        const auto [stop, error] = std::from_chars(part.data(), end, number);
        return !part.empty() && error == std::errc() && stop == end;
    };
    return whole(text.substr(0, slash), index) && whole(text.substr(slash + 1), count) &&
           index >= 1 && index <= count;
}

// -f, -typed_lines, -idn, -shard, then the dig-style words left once every option took its
// value: @SERVER, NAME and TYPE. False, with the message written, for a value that cannot be used
// or a word that has no place.
bool read_input_options(args& list, input_params& options, std::ostream& err) {
    if (get_option_value("-f", options.input_path, list)) {
        if (options.enumdir_set || !options.query_name.empty()) {
            err << "invalid combination of commands\n";
            return false;
        }
        options.batch_input = true;
    } else if (has_option("-f", list)) {
        err << "-f needs a file (- for standard input)\n";
        return false;
    }
    options.typed_lines = has_option("-typed_lines", list);
    options.idn = has_option("-idn", list);
    if (std::string text; get_option_value("-shard", text, list)) {
        if (!read_shard(text, options.shard_index, options.shard_count)) {
            err << "invalid shard: " << text << " (K/N with 1 <= K <= N)\n";
            return false;
        }
    } else if (has_option("-shard", list)) {
        err << "-shard needs K/N\n";
        return false;
    }

    std::vector<std::string> words;
    for (std::size_t i = 1; i < list.size();) {
        const std::string word = list[i];
        // The word after an option no one took is that option's value, named with it as ignored.
        const bool value_of_unknown = list[i - 1].starts_with('-');
        if (word.starts_with('@')) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            if (!add_server(options, word.substr(1), err)) {
                return false;
            }
        } else if (!word.empty() && !word.starts_with('-') && !value_of_unknown) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
            words.push_back(word);
        } else {
            ++i;
        }
    }
    // A server list alone will do; read_server_options takes it.
    if (options.server_endpoint.family() == AF_UNSPEC && !has_option("-servers", list, true)) {
        err << "error: need to specify a DNS server to query using the format: -server <ipv4 "
               "addr>\n";
        return false;
    }
    const bool batch = options.batch_input || options.enumdir_set;
    // A batch or a lookup form already names what is looked up: a word beside it is a mistake,
    // not a name to wait for.
    const std::size_t allowed = batch || !options.query_name.empty() ? 0 : 2;
    if (words.size() > allowed) {
        err << "unexpected argument: " << words[allowed] << '\n';
        return false;
    }
    if (!words.empty()) {
        options.url_arg = words[0];
        options.query_name = words[0];
    }
    if (words.size() == 2) {
        const std::optional<uint16_t> type = read_type(words[1]);
        if (!type) {
            err << "unknown record type: " << words[1] << '\n';
            return false;
        }
        options.query_type = *type;
    }
    if ((options.shard_count != 0 || options.typed_lines) && !batch) {
        err << (options.shard_count != 0 ? "-shard" : "-typed_lines")
            << " takes the lines of a batch: use it with -f or a -..._pipe form\n";
        return false;
    }
    return true;
}

}  // namespace

input_params::input_params() {
    reset();
}

void input_params::reset() {
    cmd_params::reset();
    format = report_format::table;
    verbose = false;
    batch_input = false;
    server = default_server;
    server_endpoint = endpoint{};
    url_arg.clear();
    ip_arg.clear();
    mx_arg.clear();
    txt_arg.clear();
    ns_arg.clear();
    name_arg.clear();
    query_name.clear();
    timeout = std::chrono::seconds(1);
    retries = 0;
    delay = std::chrono::milliseconds::zero();
    query_type = type_a;
    ipv6 = false;
    tcp = false;
    tcp_fallback = false;
    edns_size = 0;
    exit_status = false;
    pcap_path.clear();
    inflight = 1;
    rate = 0;
    progress = false;
    summary = false;
    query_controls = query_options{};
    cookie = false;
    view = report_view{};
    servers.clear();
    source_endpoint = endpoint{};
    input_path.clear();
    typed_lines = false;
    idn = false;
    shard_index = 0;
    shard_count = 0;
}

bool input_params::parse_options(args& list, std::ostream& err) {
    if (!cmd_params::parse_options(list, err)) {
        return false;
    }

    for (const lookup_form& form : batch_forms) {
        if (has_option(form.option, list)) {
            // Names from a directory walk replace standard input, so only the type is taken.
            if (!enumdir_set) {
                batch_input = true;
            }
            query_type = form.type;
        }
    }

    for (const lookup_form& form : single_forms) {
        std::string value;
        if (!get_option_value(form.option, value, list) || value.empty()) {
            continue;
        }
        this->*form.field = value;
        if (!query_name.empty()) {
            err << "invalid combination of commands\n";
            return false;
        }
        query_name = value;
        query_type = form.type;
    }

    // -type overrides the type of the lookup form, single or batch.
    if (std::string text; get_option_value("-type", text, list)) {
        const std::optional<uint16_t> type = read_type(text);
        if (!type) {
            err << "unknown record type: " << text << '\n';
            return false;
        }
        query_type = *type;
    }

    // A dig-style @SERVER may stand for -server: whether one was given is known at the end.
    if (get_option_value("-server", server, list) && !set_server(*this, server, err)) {
        return false;
    }
    if (!read_edns_size(list, edns_size, err)) {
        return false;
    }
    if (has_option("-ipv6", list)) {
        ipv6 = true;
    }
    tcp = has_option("-tcp", list);
    tcp_fallback = has_option("-tcp_fallback", list);
    exit_status = has_option("-exit_status", list);
    read_seconds("-timeout", timeout, list);
    read_number("-retry", retries, list);
    read_seconds("-delay", delay, list);
    if (!read_bounded(list, "-inflight", uint32_t{1}, max_inflight, "number of lookups in flight",
                      "1 to 10000", inflight, err) ||
        !read_bounded(list, "-rate", min_rate, max_rate, "query rate", "0.001 to 1000000 a second",
                      rate, err)) {
        return false;
    }
    get_option_value("-pcap", pcap_path, list);
    progress = has_option("-progress", list);
    summary = has_option("-summary", list);

    // -append was only looked at with -out; it is taken here, after every option that takes a
    // value, so that it never becomes another option's value. An XML document ends with its
    // closing element, so a second one appended would make the file malformed.
    const bool append = has_option("-append", list) || append_output;
    if (append && format == report_format::xml) {
        err << "cannot append an XML report: use -append with the table or separated values\n";
        return false;
    }
    if (!read_edns_options(list, *this, err)) {
        return false;
    }
    if (!read_report_options(list, *this, err)) {
        return false;
    }
    if (!read_input_options(list, *this, err) || !read_server_options(list, *this, err)) {
        return false;
    }
    // What is left was taken by no option: a misspelt option would otherwise pass unnoticed.
    for (std::size_t i = 1; i < list.size(); ++i) {
        if (list[i].starts_with('-')) {
            err << "ignoring unknown option: " << list[i] << '\n';
        }
    }
    return true;
}

std::optional<uint16_t> parse_type(std::string_view text) {
    return read_type(text);
}

void print_usage(std::ostream& err) {
    for (std::string_view line : usage_lines) {
        err << line << '\n';
    }
    err << " cat hosts.txt | ./resq -url_pipe -server " << default_server << " > ./results.txt\n"
        << '\n';
}

}  // namespace resq
