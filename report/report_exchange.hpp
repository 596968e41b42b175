// Choosing the rows, statuses and section labels of one attempt.
#pragma once

#include <string_view>

#include "dns/dns_record.hpp"
#include "report/record_writer.hpp"

namespace resq {

/// The status of an attempt as a whole: that of its rows, "invalid" when the reply had no answer.
std::string_view attempt_status(const dns_exchange& attempt);

/// Whether the question entries of a decoded reply are rows of the report: when the reply has no
/// answer; for a CNAME lookup only when the reply has no record at all, so that the lookup still
/// has a row.
bool shows_question_entries(const dns_exchange& attempt, const dns_record& query);

/// Writes the rows of one attempt through `writer`, then ends the attempt; always true.
bool report_exchange(record_writer& writer, const attempt_info& info);

}  // namespace resq
