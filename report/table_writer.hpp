// One record as a row of the padded table or of delimiter-separated values.
#pragma once

#include <ostream>
#include <string_view>

#include "dns/dns_record.hpp"
#include "support/cmd_params.hpp"

namespace resq {

/// Writes the column header line when `options.header_pending` is on (and clears it), then one
/// row for `record` with its section label and status; every line is flushed.
void write_table_row(const dns_record& record, std::ostream& out, std::string_view section,
                     std::string_view status, cmd_params& options);

}  // namespace resq
