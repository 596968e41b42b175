// Choosing the rows, statuses and section labels of one attempt.
#pragma once

#include <ostream>

#include "dns/dns_record.hpp"
#include "support/cmd_params.hpp"

namespace resq {

/// Writes the rows of one attempt through the table or XML writer; always true.
bool report_exchange(std::ostream& out, const dns_exchange& attempt, const dns_record& query,
                     cmd_params& options);

}  // namespace resq
