// The one interface every report format is written through.
#pragma once

#include <iostream>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "dns/dns_record.hpp"
#include "net/net_socket.hpp"
#include "support/cmd_params.hpp"

namespace resq {

/// What heads a report: the program's banner, the header block (banner, start time and host,
/// command line, each line ended) and the program name as typed.
struct report_header {
    std::string banner;
    std::string text;
    std::string program;
};

struct attempt_info;

/// One row of a report: a record, with the attempt's server and the row's section and status,
/// and the attempt it came from (null where a row is written on its own).
struct report_row {
    const dns_record& record;
    std::string_view server;
    std::string_view section;
    std::string_view status;
    const attempt_info* attempt = nullptr;
    std::size_t server_width = 0;  // of the server column: the widest server of the run
};

/// One attempt as a whole: the exchange and the lookup it asked, and where and how it went.
struct attempt_info {
    const dns_exchange& exchange;
    const dns_record& query;
    transport kind = transport::udp;
    uint64_t number = 1;         // 1-based within the lookup
    uint64_t line = 0;           // the batch input line; 0 for a single lookup
    std::string_view address{};  // the server's address, without its port
    uint16_t port = 0;
    bool last = true;               // no attempt of the lookup follows
    std::size_t server_width = 0;   // the widest server text of the run (the table's column)
    std::string_view name_ascii{};  // the name sent, with -idn; empty: not shown
    bool tls_insecure = false;      // -tls_insecure: the server's certificate was not verified
};

/// The columns -fields can choose for the table and separated values: today's columns in their
/// order, then those taken from the attempt and the record's data in master-file form.
enum class report_field : uint8_t {
    query,
    comment,
    status,
    id,
    server,
    date,
    time,
    type,
    type_name,
    dns_class,
    ttl,
    size,
    data,
    rcode,
    flags,
    rtt,
    transport,
    attempt,
    line,
    rdata,
};

/// Reads a comma-separated list of field names in any letter case into `fields`; false for an
/// unknown, empty or repeated name, which is then left in `bad`.
bool parse_report_fields(std::string_view list, std::vector<report_field>& fields,
                         std::string& bad);

/// What the user chose to see beside the report's form: the columns of the table (none: today's
/// columns), or the data of the answers alone (-short).
struct report_view {
    std::vector<report_field> fields;
    bool short_answers = false;
};

/// Writes one report to one stream: begin once, the rows of each attempt followed by
/// end_attempt, then end once. A writer owns its own state and frame and reads the options
/// without changing them.
class record_writer {
  public:
    /// A writer to `out`; `terminal` when `out` is a terminal, which is never written control
    /// bytes taken from the network.
    record_writer(std::ostream& out, const cmd_params& options, bool terminal = false)
        : out_(out), options_(options), terminal_(terminal) {}
    /// The writer keeps a reference to the options: a temporary would not outlive it.
    record_writer(std::ostream& out, const cmd_params&& options, bool terminal = false) = delete;
    virtual ~record_writer() = default;
    record_writer(const record_writer&) = delete;
    record_writer& operator=(const record_writer&) = delete;

    /// Writes what comes before the first row.
    virtual void begin(const report_header& header) = 0;
    /// Writes one row.
    virtual void row(const report_row& row) = 0;
    /// Writes what follows the rows of one attempt; nothing by default.
    virtual void end_attempt(const attempt_info& attempt) { static_cast<void>(attempt); }
    /// Writes what comes after the last row and flushes the stream.
    virtual void end() = 0;

    /// False once a write to the report stream has failed.
    bool good() const { return static_cast<bool>(out_); }

  protected:
    std::ostream& out_;
    const cmd_params& options_;
    const bool terminal_;
};

/// The writer of the report format the options and `view` chose, writing to `out` (a terminal
/// when `terminal` is set); with -short, the lookups that got no answer are named on `err`.
std::unique_ptr<record_writer> make_record_writer(std::ostream& out, const cmd_params& options,
                                                  bool terminal = false,
                                                  const report_view& view = {},
                                                  std::ostream& err = std::cerr);

}  // namespace resq
