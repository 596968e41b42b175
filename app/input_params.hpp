// The option record of resq: the common options plus the DNS lookup options.
#pragma once

#include <chrono>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/server_pool.hpp"
#include "dns/exchange.hpp"
#include "dns/query_builder.hpp"
#include "dns/secure_session.hpp"
#include "net/endpoint.hpp"
#include "report/record_writer.hpp"
#include "support/args.hpp"
#include "support/cmd_params.hpp"

namespace resq {

/// One line naming the program and its version; heads the usage text and the report.
inline constexpr std::string_view banner = "resq 0.49 - DNS lookup reporter";

/// The server named in the usage example and the record's default.
inline constexpr std::string_view default_server = "9.9.9.9";

/// The options of one run: what to look up, where, and how patiently.
class input_params : public cmd_params {
  public:
    input_params();
    ~input_params() override = default;
    input_params(const input_params&) = default;
    input_params& operator=(const input_params&) = default;

    /// Sets the defaults, including the common part.
    void reset();

    /// Reads every option of the table from `list` in its fixed order, removing what it
    /// recognises; false when the run must stop (the message has been written to `err`): a value
    /// missing or out of range, no server, -out and -pcap naming the same file. Words starting
    /// with "-" that no option took, and numbers that do not read wholly, are named on `err`.
    bool parse_options(args& list, std::ostream& err = std::cerr);

    std::string server;        // as the report shows it (display_text of what was typed)
    endpoint server_endpoint;  // as read from -server; holds none until a valid one is read
    std::string url_arg;
    std::string ip_arg;
    std::string mx_arg;
    std::string txt_arg;
    std::string ns_arg;    // -ns and -cname share it
    std::string name_arg;  // -aaaa, -soa, -srv, -caa and -any share it
    std::string query_name;
    std::chrono::milliseconds timeout{1000};
    int32_t retries = 0;
    std::chrono::milliseconds delay{0};
    uint32_t query_type = 1;
    bool ipv6 = false;
    bool tcp = false;           // every query over TCP
    bool tcp_fallback = false;  // UDP, then TCP after a truncated reply; -tcp wins
    uint16_t edns_size = 0;     // the UDP payload size of the query's OPT record; 0: no OPT record
    bool exit_status = false;   // the exit status tells whether the lookups got replies
    bool progress = false;      // -progress: the progress line even when not on a terminal
    bool summary = false;       // -summary: the summary after a batch even when not on a terminal
    std::string pcap_path;      // -pcap: the evidence file of every message; empty: none
    uint32_t inflight = 1;      // -inflight: lookups of a batch in flight at once; 1: one by one
    double rate = 0;            // -rate: attempts sent per second at most; 0: no limit

    // Header and EDNS controls, read by read_edns_options: the class, header bits and OPT
    // content of every query (-class, -norecurse, -adflag, -cd, -dnssec, -nsid, -subnet; its
    // edns_size follows edns_size), and -cookie, which the lookups add to each query themselves.
    query_options query_controls;
    bool cookie = false;

    // What the report shows: -fields, the columns of the table and separated values in the order
    // given (none: today's columns); -short, the data of the answers alone.
    report_view view;
    // Several servers and the source address. `server` and `server_endpoint` hold the first
    // server; -server given again and -servers FILE add more, taken by lookups in turn.
    std::vector<server_entry> servers;  // every server, in the order given; -servers last
    endpoint source_endpoint;           // -source: where queries leave from; none: any address
    // Where a batch's names come from, how they are read, and which of them this run takes.
    std::string input_path;    // -f: the file of a batch; "-": standard input; empty: none
    bool typed_lines = false;  // -typed_lines: each line is "NAME [TYPE]"
    bool idn = false;          // -idn: names with non-ASCII characters go out as A-labels
    uint64_t shard_index = 0;  // -shard K/N: K, from 1; 0: every line is taken
    uint64_t shard_count = 0;  // -shard K/N: N
    // DNS over TLS and HTTPS.
    bool tls = false;           // -tls: every query over TLS; -tcp and -tcp_fallback do not apply
    std::string tls_ca;         // -tls_ca: the authorities trusted; empty: the system's store
    std::string tls_name;       // -tls_name: the name the certificates must bear
    bool tls_insecure = false;  // -tls_insecure: no certificate is checked
    std::string https_text;     // -https: the URL as typed; empty: not over HTTPS
    https_url https;            // -https, read
    bool https_get = false;     // -https_get: GET with ?dns= instead of POST

    /// The port a server typed without one is asked on: 853 over TLS, the URL's over HTTPS.
    uint16_t server_port() const {
        return tls ? dot_port : !https_text.empty() ? https.port : dns_port;
    }
};

/// The type `text` names as -type reads it (a mnemonic in any letter case, TYPEnn, or 1 to
/// 65535); nullopt for any other text.
std::optional<uint16_t> parse_type(std::string_view text);

/// Writes the usage text to `err`.
void print_usage(std::ostream& err);

/// Takes each name of the option whose first name is `name` ("-h": also -help, --help, /?) off
/// `list`; false when none was there.
bool take_names_of(std::string_view name, args& list);

/// Writes each option name with its kind, and whether it has an effect, one a line (the hidden
/// --list-options that the documentation checks read).
void list_options(std::ostream& out);

}  // namespace resq
