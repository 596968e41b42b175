#include "app/input_params.hpp"

#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
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

// The UDP payload size `-edns` alone advertises: what fits in one unfragmented datagram on most
// paths (the DNS Flag Day 2020 value).
constexpr uint16_t default_edns_size = 1232;
// RFC 6891 6.2.5: values below 512 are treated as 512.
constexpr uint32_t min_edns_size = 512;

// "-edns SIZE", or "-edns" alone (last, or followed by another option) for the default size;
// false, with the message written, for a size that is not 512 to 65535 in decimal.
bool read_edns_size(const option_use& use, uint16_t& size) {
    if (!use.valued) {
        size = default_edns_size;
        return true;
    }
    uint32_t number = 0;
    const char* const end = use.value.data() + use.value.size();
    const auto [stop, error] = std::from_chars(use.value.data(), end, number);
    if (error != std::errc() || stop != end || number < min_edns_size || number > UINT16_MAX) {
        use.err << "invalid EDNS buffer size: " << use.value << " (512 to 65535)\n";
        return false;
    }
    size = static_cast<uint16_t>(number);
    return true;
}

// The most lookups -inflight keeps in flight, and the bounds of -rate.
constexpr uint32_t max_inflight = 10000;
constexpr double min_rate = 0.001;
constexpr double max_rate = 1000000;

// VALUE a decimal number from `low` to `high` (a fraction when Number is a floating type): false,
// with "invalid WHAT: VALUE (RANGE)" written, for any other VALUE.
template <typename Number>
bool read_bounded(const option_use& use, Number low, Number high, std::string_view what,
                  std::string_view range, Number& field) {
    const std::string& value = use.value;
    Number number{};
    const char* const end = value.data() + value.size();
    std::from_chars_result read{};
    if constexpr (std::is_floating_point_v<Number>) {
        read = std::from_chars(value.data(), end, number, std::chars_format::fixed);
    } else {
        read = std::from_chars(value.data(), end, number);
    }
    if (read.ec != std::errc() || read.ptr != end || !(number >= low && number <= high)) {
        use.err << "invalid " << what << ": " << value << " (" << range << ")\n";
        return false;
    }
    field = number;
    return true;
}

// A time in seconds as typed: "1", "0.5", "-1.25".
std::string seconds_text(std::chrono::milliseconds time) {
    const auto count = time.count();
    std::string text = (count < 0 ? "-" : "") + std::to_string(std::abs(count) / 1000);
    if (const auto part = std::abs(count) % 1000; part != 0) {
        std::string digits = std::to_string(1000 + part).substr(1);
        text += '.' + digits.substr(0, digits.find_last_not_of('0') + 1);
    }
    return text;
}

// A time option read as parse_seconds reads it, with a value that is not wholly a number named.
bool read_named_seconds(option_use& use, std::chrono::milliseconds& field) {
    parse_seconds(use.value, field);
    name_invalid_number(use.name, use.value, seconds_text(field), true, false, use.err);
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

// How the report shows a server: as display_text does, with the port whenever it is not 53
// (over TLS a server typed without one is asked on 853).
std::string server_text(const std::string& typed, const endpoint& address) {
    return address.text(dns_port) != address.address_text()
               ? address.text(dns_port)
               : display_text(typed, address, dns_port);
}

// The servers of a -servers file: one "ADDRESS[:PORT] [TLS_NAME]" a line, as -server takes the
// address; blank lines and what follows a "#" are passed over. The second word is the name the
// server's certificate must bear over TLS and HTTPS. False, with the file and line named, for a
// line that is anything else.
bool read_server_file(const std::string& path, uint16_t port, std::vector<server_entry>& servers,
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
        if (!extra.empty() || !parse_endpoint(address, port, parsed)) {
            err << path << ':' << number << ": invalid DNS server line: " << line << '\n';
            return false;
        }
        servers.push_back({server_text(address, parsed), parsed, tls_name});
    }
    return true;
}

// Reads a server address once, so that a mistyped one stops the run before any lookup.
bool set_server(input_params& options, const std::string& text, std::ostream& err) {
    if (!parse_endpoint(text, options.server_port(), options.server_endpoint)) {
        err << "invalid DNS server address: " << text << '\n';
        return false;
    }
    options.server = server_text(text, options.server_endpoint);
    return true;
}

// A dig-style @SERVER: the server when none was named yet, else one more of the list.
bool add_server(input_params& options, const std::string& text, std::ostream& err) {
    if (options.server_endpoint.family() == AF_UNSPEC) {
        return set_server(options, text, err);
    }
    endpoint address;
    if (!parse_endpoint(text, options.server_port(), address)) {
        err << "invalid DNS server address: " << text << '\n';
        return false;
    }
    options.servers.push_back({server_text(text, address), address, {}});
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

// The dig-style words left once every option took its value: @SERVER (one more server), NAME and
// TYPE. False, with the message written, for a word that has no place.
bool read_bare_words(args& list, input_params& options, std::ostream& err) {
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
    // A server list alone will do; settle_options puts the servers together.
    if (options.server_endpoint.family() == AF_UNSPEC && options.servers.empty()) {
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
    return true;
}

// What the options say together, checked once all are read: a server to ask, a source address
// each server can be reached from, a report form that can show -fields and -short, batch options
// with a batch, and the OPT record the EDNS controls need.
bool settle_options(input_params& options, std::ostream& err) {
    std::vector<server_entry>& servers = options.servers;
    if (options.server_endpoint.family() != AF_UNSPEC) {
        servers.insert(servers.begin(), {options.server, options.server_endpoint, {}});
    }
    if (servers.empty()) {
        err << "error: need to specify a DNS server to query using the format: -server <ipv4 "
               "addr>\n";
        return false;
    }
    options.server = servers.front().text;
    options.server_endpoint = servers.front().address;
    for (const server_entry& server : servers) {
        if (options.source_endpoint.family() != AF_UNSPEC &&
            server.address.family() != options.source_endpoint.family()) {
            err << "source address " << options.source_endpoint.text(0)
                << " cannot reach DNS server " << server.text << ": another address family\n";
            return false;
        }
    }

    if (options.tls && !options.https_text.empty()) {
        err << "-tls and -https choose the transport: give one of them\n";
        return false;
    }
    const bool secure = options.tls || !options.https_text.empty();
    if (secure) {
        options.tcp = false;
        options.tcp_fallback = false;
    }
    // What shapes an encrypted transport says nothing without one: a mistake, not a choice.
    if (options.https_get && options.https_text.empty()) {
        err << "-https_get asks over DNS over HTTPS: give -https URL\n";
        return false;
    }
    if (!secure && (!options.tls_ca.empty() || !options.tls_name.empty() || options.tls_insecure)) {
        err << (!options.tls_ca.empty()     ? "-tls_ca"
                : !options.tls_name.empty() ? "-tls_name"
                                            : "-tls_insecure")
            << " applies to -tls or -https: give one of them\n";
        return false;
    }

    const report_view& view = options.view;
    const bool document = options.format != report_format::table;
    if (!view.fields.empty() && document) {
        err << "-fields chooses columns of the table and separated values: not with -xml or "
               "-json\n";
        return false;
    }
    if (view.short_answers &&
        (document || !view.fields.empty() || options.compact_output || options.verbose)) {
        err << "-short writes the data alone: not with -json, -xml, -csv, -fields or -verbose\n";
        return false;
    }

    const bool batch = options.batch_input || options.enumdir_set;
    if ((options.shard_count != 0 || options.typed_lines) && !batch) {
        err << (options.shard_count != 0 ? "-shard" : "-typed_lines")
            << " takes the lines of a batch: use it with -f or a -..._pipe form\n";
        return false;
    }

    query_options& controls = options.query_controls;
    if (options.edns_size == 0 &&
        (controls.dnssec_ok || controls.nsid || controls.subnet || options.cookie)) {
        options.edns_size = default_edns_size;
    }
    controls.edns_size = options.edns_size;
    return true;
}

using entry = option_entry<input_params>;

// A batch form: names from standard input, looked up with `type`.
entry batch_form(std::string_view name, uint32_t type, int order, std::string_view help = {}) {
    return entry(name)
        .reads([type](input_params& r, option_use&) {
            // Names from a directory walk replace standard input: only the type is taken.
            if (!r.enumdir_set) {
                r.batch_input = true;
            }
            r.query_type = type;
            return true;
        })
        .lines(help)
        .at(order);
}

// A single lookup of the name given; an empty name sets nothing and leaves room for another form.
entry single_form(std::string_view name, uint32_t type, std::string input_params::*field, int order,
                  std::string_view help = {}) {
    return entry(name)
        .takes(option_kind::value)
        .reads([type, field](input_params& r, option_use& use) {
            if (use.value.empty()) {
                return true;
            }
            r.*field = use.value;
            if (!r.query_name.empty()) {
                use.err << "invalid combination of commands\n";
                return false;
            }
            r.query_name = use.value;
            r.query_type = type;
            return true;
        })
        .lines(help)
        .at(order)
        .if_missing(missing_value::lenient);
}

// A common option at its place in the usage text, with its lines there.
entry common(std::string_view name, std::string_view help = {}) {
    const auto& table = common_options();
    const auto found = std::ranges::find_if(
        table, [name](const auto& e) { return option_names(e.names).front() == name; });
    if (found == table.end()) {
        return entry().lines(help);  // a name mistyped here: the option is still read, unplaced
    }
    entry placed(found->names);
    placed.takes(found->kind).lines(help).at(found->order).if_missing(found->missing);
    placed.effect = found->effect;
    placed.absent_message = found->absent_message;
    if (found->handler) {
        placed.handler = [read = found->handler](input_params& r, option_use& use) {
            return read(r, use);
        };
    }
    if (found->taken_if) {
        placed.taken_if = [when = found->taken_if](const input_params& r) { return when(r); };
    }
    return placed;
}

constexpr std::string_view xml_append =
    "cannot append an XML report: use -append with the table or separated values";

// Every option of resq, in the order of the usage text; the usage text is the entries' lines, and
// the `order` numbers keep the order in which the options are read. An entry added without an
// order is read after these, and its value is required.
std::vector<entry> make_option_table() {
    using kind = option_kind;
    constexpr missing_value lenient = missing_value::lenient;
    std::vector<entry> table = {
        entry().lines(
            "-----------------------------------------------------------------------------\n"),
        entry().lines(banner),
        entry().lines("\nusage:\n "),
        single_form("-url", type_a, &input_params::url_arg, 230,
                    " resq -url <domain to lookup> -server <dns srv ip>"),
        single_form("-ip", type_ptr, &input_params::ip_arg, 232,
                    " resq -ip <ip addr to lookup> -server <dns srv ip>"),
        single_form("-mx", type_mx, &input_params::mx_arg, 234,
                    " resq -mx <mail host to lookup> -server <dns srv ip>"),
        single_form("-ns", type_ns, &input_params::ns_arg, 238,
                    " resq -ns <domain to lookup> -server <dns srv ip>"),
        single_form("-cname", type_cname, &input_params::ns_arg, 240,
                    " resq -cname <domain to lookup> -server <dns srv ip>"),
        single_form("-txt", type_txt, &input_params::txt_arg, 236,
                    " resq -txt <url to query> -server <dns srv ip>"),
        single_form("-aaaa", type_aaaa, &input_params::name_arg, 242,
                    " resq -aaaa|-soa|-srv|-caa|-any <domain to lookup> -server <dns srv ip>"),
        single_form("-soa", type_soa, &input_params::name_arg, 244),
        single_form("-srv", type_srv, &input_params::name_arg, 246),
        single_form("-caa", type_caa, &input_params::name_arg, 248),
        single_form("-any", type_any, &input_params::name_arg, 250),
        entry().lines(" resq -url <domain to lookup> -type <type> -server <dns srv ip>\n"
                      " resq <domain to lookup> [@<dns srv ip>] [<type>]\n"
                      "\n"
                      "These versions use STDIN for piping in input:"),
        // When several batch forms are given the last one read decides the type.
        batch_form("-url_pipe", type_a, 200, " resq -url_pipe -server <dns srv ip>  "),
        batch_form("-ip_pipe", type_ptr, 202, " resq -ip_pipe -server <dns srv ip>   "),
        batch_form("-mx_pipe", type_mx, 204, " resq -mx_pipe -server <dns srv ip>   "),
        batch_form("-ns_pipe", type_ns, 206, " resq -ns_pipe -server <dns srv ip>   "),
        batch_form("-cname_pipe", type_cname, 208, " resq -cname_pipe -server <dns srv ip>"),
        batch_form("-txt_pipe", type_txt, 210, " resq -txt_pipe -server <dns srv ip>  "),
        batch_form("-aaaa_pipe", type_aaaa, 212,
                   " resq -aaaa_pipe|-soa_pipe|-srv_pipe|-caa_pipe|-any_pipe -server <dns srv ip>"),
        batch_form("-soa_pipe", type_soa, 214),
        batch_form("-srv_pipe", type_srv, 216),
        batch_form("-caa_pipe", type_caa, 218),
        batch_form("-any_pipe", type_any, 220),
        common("-pipe", " resq -pipe -type <type> -server <dns srv ip>"),
        // Given again, one more server; @SERVER words and -servers files add more.
        entry("-server")
            .takes(kind::repeated)
            .reads(
                [](input_params& r, option_use& use) { return add_server(r, use.value, use.err); })
            .at(310)
            .if_missing(lenient),
        entry().lines("\nAvailable options:"),
        entry("-tls")
            .reads([](input_params& r, option_use&) { return r.tls = true; })
            .lines("  -tls                   = DNS over TLS (port 853 unless the server names "
                   "another)")
            .at(301),
        entry("-https")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                if (!parse_https_url(use.value, r.https)) {
                    use.err << "invalid DNS over HTTPS URL: " << use.value
                            << " (https://HOST[:PORT][/PATH])\n";
                    return false;
                }
                r.https_text = use.value;
                // A URL naming an address names the server too; a name is never resolved here:
                // -server gives its address.
                endpoint address;
                if (parse_endpoint(r.https.host, r.https.port, address)) {
                    r.server_endpoint = address;
                    r.server = display_text(address.text(dns_port), address, dns_port);
                }
                return true;
            })
            .lines(
                "  -https <url>           = DNS over HTTPS (HTTP/2) to https://HOST[:PORT][/PATH];"
                "\n"
                "                           a HOST name needs -server ADDRESS")
            .at(302),
        entry("-https_get")
            .reads([](input_params& r, option_use&) { return r.https_get = true; })
            .lines("  -https_get             = DNS over HTTPS with GET ?dns= instead of POST")
            .at(303),
        entry("-tls_ca")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                r.tls_ca = use.value;
                return true;
            })
            .lines("  -tls_ca <file>         = trust the authorities of this PEM file, not the "
                   "system's")
            .at(304),
        entry("-tls_name")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                r.tls_name = use.value;
                return true;
            })
            .lines("  -tls_name <name>       = the name the server's certificate must bear (and "
                   "SNI)")
            .at(305),
        entry("-tls_insecure")
            .reads([](input_params& r, option_use&) { return r.tls_insecure = true; })
            .lines("  -tls_insecure          = do not verify the server's certificate")
            .at(306),
        entry("-timeout")
            .takes(kind::value)
            .reads(
                [](input_params& r, option_use& use) { return read_named_seconds(use, r.timeout); })
            .lines("  -timeout <in secs>")
            .at(370)
            .if_missing(lenient),
        entry("-retry")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                parse_number(use.value, r.retries);
                name_invalid_number(use.name, use.value, std::to_string(r.retries), false, false,
                                    use.err);
                return true;
            })
            .lines("  -retry <num>           = if we timeout, num of retries")
            .at(380)
            .if_missing(lenient),
        entry("-delay")
            .takes(kind::value)
            .reads(
                [](input_params& r, option_use& use) { return read_named_seconds(use, r.delay); })
            .lines("  -delay <secs>          = delay in secs between each query")
            .at(390)
            .if_missing(lenient),
        entry("-inflight")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                return read_bounded(use, uint32_t{1}, max_inflight, "number of lookups in flight",
                                    "1 to 10000", r.inflight);
            })
            .lines(
                "  -inflight <n>          = lookups of a batch in flight at once, 1 to 10000 (1)")
            .at(400),
        entry("-rate")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                return read_bounded(use, min_rate, max_rate, "query rate",
                                    "0.001 to 1000000 a second", r.rate);
            })
            .lines("  -rate <qps>            = send at most qps queries a second (fractions "
                   "allowed);\n"
                   "                           retries included, one by one or with -inflight")
            .at(410),
        entry("-tcp")
            .reads([](input_params& r, option_use&) { return r.tcp = true; })
            .lines("  -tcp                   = send every query over TCP")
            .at(340),
        entry("-tcp_fallback")
            .reads([](input_params& r, option_use&) { return r.tcp_fallback = true; })
            .lines("  -tcp_fallback          = retry over TCP when a UDP reply is truncated")
            .at(350),
        entry("-edns")
            .takes(kind::optional_value)
            .reads(
                [](input_params& r, option_use& use) { return read_edns_size(use, r.edns_size); })
            .lines(
                "  -edns [size]           = send an EDNS(0) OPT record; size 512 to 65535, 1232 if "
                "omitted")
            .at(320),
        entry("-pcap")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                r.pcap_path = use.value;
                return true;
            })
            .lines(
                "  -pcap <file>           = write every message sent and received to a pcap file")
            .at(420),
        entry("-progress")
            .reads([](input_params& r, option_use&) { return r.progress = true; })
            .lines(
                "  -progress              = show the progress line of a batch even when not on a "
                "terminal")
            .at(430),
        common("-quiet",
               "  -quiet                 = no progress line and no summary unless asked for"),
        entry("-summary")
            .reads([](input_params& r, option_use&) { return r.summary = true; })
            .lines("  -summary               = write a summary of a batch to standard error")
            .at(440),
        // -type overrides the type of the lookup form, single or batch.
        entry("-type")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                const std::optional<uint16_t> type = read_type(use.value);
                if (!type) {
                    use.err << "unknown record type: " << use.value << '\n';
                    return false;
                }
                r.query_type = *type;
                return true;
            })
            .lines("  -type <type>           = query type of every lookup: A, AAAA, SRV, TYPE65, "
                   "65, ...")
            .at(300),
        common("-xml", "  -xml                   = output the data in xml format"),
        common("-csv", "  -csv                   = output in comma separated value format"),
        common("-json", "  -json                  = one JSON object per attempt (JSON Lines)"),
        entry("-exit_status")
            .reads([](input_params& r, option_use&) { return r.exit_status = true; })
            .lines("  -exit_status           = exit 1 if some lookups got no reply, 2 if none did")
            .at(360),
        common("-verbose",
               "  -verbose               = shows std::hex dump of packets (not in xml mode)"),
        common("-no_whitespace",
               "  -no_whitespace         = remove whitespace between csv delimiter"),
        common("-csv_separator", "  -csv_separator \"|\"     = use a pipe char for csv separator"),
        common("-dateformat", "  -dateformat mm/dd/yyyy = \"yyyy-mm-dd\" is the default"),
        common("-timeformat", "  -timeformat hh:mm:ss   = \"hh:mm:ss.xxx\" is the default"),
        common("-filter", "  -filter <*partial*>    = filters data from stdin using pipe"),
        common("-filter_path",
               "  -filter_path <text>    = turns the -filter patterns into path patterns"),
        common("-enumdir",
               "  -enumdir <dir>         = look up the paths of the files under dir, not stdin"),
        common("-num_subdirs", "  -num_subdirs <n>       = levels below -enumdir, 1 by default"),
        common("-out",
               "  -out <file>            = write the report to file (also -outfile <file>)"),
        // Read after every option that takes a value, so that it never becomes another option's
        // value. An XML document ends with its closing element, so a second one appended would
        // make the file malformed.
        entry("-append")
            .reads([](input_params& r, option_use& use) {
                if (r.format == report_format::xml) {
                    use.err << xml_append << '\n';
                    return false;
                }
                return true;
            })
            .lines("  -append                = with -out, add to the end of the file")
            .at(900),
        common("-diags", "  -diags <file>          = write the command line to file"),
        entry().lines("  -v                     = same as -verbose"),
        common(
            "-csvgen",
            "  -csvgen, -csvl2t, -bodyfile, -pair_datetime, -multiline, -enable_quoted_csv_fields\n"
            "                         = more separated-value forms (see man resq)"),
        common("-csvl2t"),
        common("-bodyfile"),
        common("-pair_datetime"),
        common("-multiline"),
        common("-enable_quoted_csv_fields"),
        entry("-ipv6")
            .reads([](input_params& r, option_use&) { return r.ipv6 = true; })
            .lines("  -ipv6                  = accepted and ignored: the -server address decides")
            .at(330),
        entry("-class")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                const std::optional<uint16_t> number = read_class(use.value);
                if (!number) {
                    use.err << "invalid query class: " << use.value << '\n';
                    return false;
                }
                r.query_controls.qclass = *number;
                return true;
            })
            .lines(
                "  -class <class>         = query class: IN, CH, HS, NONE, ANY or 0 to 65535 (IN)"),
        entry("-norecurse")
            .reads([](input_params& r, option_use&) {
                r.query_controls.recursion_desired = false;
                return true;
            })
            .lines("  -norecurse             = clear RD: ask for no recursion"),
        entry("-adflag")
            .reads(
                [](input_params& r, option_use&) { return r.query_controls.authentic_data = true; })
            .lines(
                "  -adflag                = set AD: ask whether the server validated the answer"),
        entry("-cd")
            .reads([](input_params& r, option_use&) {
                return r.query_controls.checking_disabled = true;
            })
            .lines("  -cd                    = set CD: ask the server to skip DNSSEC validation"),
        entry("-dnssec")
            .reads([](input_params& r, option_use&) { return r.query_controls.dnssec_ok = true; })
            .lines("  -dnssec                = set the DO bit (implies -edns)"),
        entry("-nsid")
            .reads([](input_params& r, option_use&) { return r.query_controls.nsid = true; })
            .lines("  -nsid                  = ask for the server's NSID (implies -edns)"),
        entry("-subnet")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                client_subnet subnet;
                if (!parse_client_subnet(use.value, subnet)) {
                    use.err << "invalid client subnet: " << use.value << '\n';
                    return false;
                }
                r.query_controls.subnet = std::move(subnet);
                return true;
            })
            .lines("  -subnet <addr[/len]>   = send a client subnet, /24 or /56 if omitted; 0/0 "
                   "opts out\n"
                   "                           (implies -edns)"),
        entry("-cookie")
            .reads([](input_params& r, option_use&) { return r.cookie = true; })
            .lines("  -cookie                = send a client cookie, echo the server's (implies "
                   "-edns)"),
        entry("-fields")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                if (std::string bad; !parse_report_fields(use.value, r.view.fields, bad)) {
                    use.err << "unknown field: " << bad << '\n';
                    return false;
                }
                return true;
            })
            .lines("  -fields <list>         = columns of the table or csv, in this order, "
                   "comma-separated:\n"
                   "                           query comment status id DNSserv date time type "
                   "tname class\n"
                   "                           ttl size data rcode flags rtt transport attempt "
                   "line rdata")
            // Read before the others: a run stopped by a bad list shows no header block either.
            .at(100),
        entry("-short")
            .reads([](input_params& r, option_use&) { return r.view.short_answers = true; })
            .lines(
                "  -short                 = the data of each answer alone, one a line (batch: "
                "name, tab);\n"
                "                           a lookup without an answer is named on standard error")
            .at(101),
        entry().lines("  -server <addr[:port]>  = given again: one more server; lookups take the "
                      "servers in turn,\n"
                      "                           a retry the next one"),
        entry("-servers")
            .takes(kind::repeated)
            .reads([](input_params& r, option_use& use) {
                return read_server_file(use.value, r.server_port(), r.servers, use.err);
            })
            .lines("  -servers <file>        = more servers, one \"ADDRESS[:PORT] [TLS_NAME]\" a "
                   "line (# "
                   "comments)"),
        entry("-source")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                // A port would be shared by every attempt: each has its own, which the kernel
                // picks.
                const std::string& source = use.value;
                const bool port_typed =
                    source.starts_with('[') || std::ranges::count(source, ':') == 1;
                if (port_typed || !parse_endpoint(source, 0, r.source_endpoint)) {
                    use.err << "invalid source address: " << source
                            << " (an address without a port)\n";
                    return false;
                }
                return true;
            })
            .lines("  -source <addr>         = send every query from this local address"),
        entry("-f")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                if (r.enumdir_set || !r.query_name.empty()) {
                    use.err << "invalid combination of commands\n";
                    return false;
                }
                r.input_path = use.value;
                r.batch_input = true;
                return true;
            })
            .lines(
                "  -f <file>              = read the names of a batch from file (- for stdin);\n"
                "                           the type from the lookup form or -type, A if neither"),
        entry("-typed_lines")
            .reads([](input_params& r, option_use&) { return r.typed_lines = true; })
            .lines("  -typed_lines           = batch lines are NAME [TYPE], as in dnsperf query "
                   "files"),
        entry("-idn")
            .reads([](input_params& r, option_use&) { return r.idn = true; })
            .lines("  -idn                   = send names with non-ASCII characters as A-labels"),
        entry("-shard")
            .takes(kind::value)
            .reads([](input_params& r, option_use& use) {
                if (!read_shard(use.value, r.shard_index, r.shard_count)) {
                    use.err << "invalid shard: " << use.value << " (K/N with 1 <= K <= N)\n";
                    return false;
                }
                return true;
            })
            .lines("  -shard K/N             = take input lines K, K+N, K+2N... of a batch (K from "
                   "1)"),
        // Read by the run before any other option.
        entry("-h -help --help /?").lines("  -h, -help, --help, /?  = this text"),
        entry("-version --version")
            .lines("  -version, --version    = print the version line and exit"),
        entry().lines("\nexample of using std input and redirecting the output to a file"),
    };
    // The common options not placed above: those of other tools, taken without effect.
    for (const option_entry<cmd_params>& other : common_options()) {
        const std::string_view name = option_names(other.names).front();
        if (std::ranges::none_of(table, [name](const entry& e) {
                return !e.names.empty() && option_names(e.names).front() == name;
            })) {
            table.push_back(common(name));
        }
    }
    return table;
}

const std::vector<entry>& option_table() {
    static const std::vector<entry> table = make_option_table();
    return table;
}

// The same file: device and inode where both exist, else the same path once made absolute and
// normal ("." and ".." resolved, duplicate slashes dropped).
bool same_file(const std::string& one, const std::string& other) {
    struct stat first = {};
    struct stat second = {};
    if (::stat(one.c_str(), &first) == 0 && ::stat(other.c_str(), &second) == 0) {
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    }
    std::error_code error;
    const auto normal = [&error](const std::string& path) {
        return std::filesystem::absolute(path, error).lexically_normal();
    };
    return normal(one) == normal(other);
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
    tls = false;
    tls_ca.clear();
    tls_name.clear();
    tls_insecure = false;
    https_text.clear();
    https = https_url{};
    https_get = false;
}

bool input_params::parse_options(args& list, std::ostream& err) {
    if (list.empty()) {
        return false;
    }
    begin_options(list);
    if (!read_options(option_table(), *this, list, err) || !read_bare_words(list, *this, err) ||
        !settle_options(*this, err)) {
        return false;
    }
    settle_datetime_layout();

    // The evidence would be written over the report, or the report over the evidence.
    if (!out_path.empty() && !pcap_path.empty() && same_file(out_path, pcap_path)) {
        err << "-out and -pcap name the same file: " << out_path << '\n';
        return false;
    }
    // -out saw an -append that another option then took as its value.
    if (append_output && format == report_format::xml) {
        err << xml_append << '\n';
        return false;
    }
    // What is left was taken by no option: a misspelt option would otherwise pass unnoticed.
    name_unknown_options(list, err);
    return true;
}

void print_usage(std::ostream& err) {
    write_usage(option_table(), err);
    err << " cat hosts.txt | ./resq -url_pipe -server " << default_server << " > ./results.txt\n"
        << '\n';
}

bool take_names_of(std::string_view name, args& list) {
    bool taken = false;
    for (const entry& option : option_table()) {
        const std::vector<std::string_view> names = option_names(option.names);
        if (!names.empty() && names.front() == name) {
            for (std::string_view each : names) {
                taken = has_option(each, list) || taken;
            }
        }
    }
    return taken;
}

void list_options(std::ostream& out) {
    write_option_listing(option_table(), out);
}

std::optional<uint16_t> parse_type(std::string_view text) {
    return read_type(text);
}

}  // namespace resq
