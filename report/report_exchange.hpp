// Choosing the rows, statuses and section labels of one attempt.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "dns/dns_record.hpp"
#include "report/record_writer.hpp"

namespace resq {

/// The status of a row, that of the attempt or of the part of its reply the row comes from.
enum class row_status : uint8_t {
    success,   // an entry of a reply with an answer, or any entry but a question
    invalid,   // a question entry of a reply without answer
    unkresp,   // a reply came that decoded to no entry at all
    timeout,   // no reply in time
    sock_err,  // nothing could be sent
};

/// The status as the report and the summary write it ("success", ..., "sock err").
std::string_view status_text(row_status status);

/// The status of an attempt as a whole: that of its rows, invalid when the reply had no answer.
row_status attempt_status(const dns_exchange& attempt);

/// Whether the question entries of a decoded reply are rows of the report: when the reply has no
/// answer; for a CNAME lookup only when the reply has no record at all, so that the lookup still
/// has a row.
bool shows_question_entries(const dns_exchange& attempt, const dns_record& query);

/// Consecutive rows of one attempt: records of one section, with their section label and status.
struct row_group {
    std::span<const dns_record> records;
    std::string_view section;
    row_status status;
};

/// The rows of an attempt, in report order and never empty: the lookup alone, with the attempt's
/// status, when no usable reply came; else the reply's entries as they were decoded, the question
/// entries only where shows_question_entries() says so. Sections without entries are left out.
std::vector<row_group> attempt_rows(const dns_exchange& attempt, const dns_record& query);

/// Writes the rows of one attempt through `writer`, then ends the attempt; always true.
bool report_exchange(record_writer& writer, const attempt_info& info);

}  // namespace resq
