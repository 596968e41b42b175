// Choosing the rows, statuses and section labels of one attempt.
#pragma once

#include "dns/dns_record.hpp"
#include "report/record_writer.hpp"

namespace resq {

/// Writes the rows of one attempt of `query` through `writer`, then ends the attempt; always
/// true.
bool report_exchange(record_writer& writer, const dns_exchange& attempt, const dns_record& query);

}  // namespace resq
