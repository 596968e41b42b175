// Choosing the rows, statuses and section labels of one attempt.
#include "report/report_exchange.hpp"

#include <string_view>
#include <vector>

#include "dns/record_types.hpp"

namespace resq {

namespace {

void write_rows(record_writer& writer, const attempt_info& info) {
    const dns_exchange& attempt = info.exchange;
    const dns_record& query = info.query;
    const auto write = [&](const dns_record& record, std::string_view section,
                           std::string_view status) {
        writer.row(report_row{record, attempt.server, section, status, &info, info.server_width});
    };
    const auto write_all = [&](const std::vector<dns_record>& records, std::string_view section,
                               std::string_view status) {
        for (const dns_record& record : records) {
            write(record, section, status);
        }
    };

    // Without a usable reply the lookup itself is the one row, its status telling why.
    const std::string_view status = attempt_status(attempt);
    if (status != "success" && status != "invalid") {
        write(query, "question", status);
        return;
    }

    // The status belongs to the attempt: entries of a reply that failed part-way are still shown
    // as they were decoded.
    if (shows_question_entries(attempt, query)) {
        write_all(attempt.questions, "question", "invalid");
    }
    write_all(attempt.answers, "answer", "success");
    write_all(attempt.authority, "authority", "success");
    write_all(attempt.additional, "additions", "success");
}

}  // namespace

bool shows_question_entries(const dns_exchange& attempt, const dns_record& query) {
    // A CNAME lookup shows its question entries only where the reply has nothing else: a REFUSED
    // or SERVFAIL reply to it must not leave the lookup without a row.
    return attempt.answers.empty() && (query.dns_type != type_cname ||
                                       (attempt.authority.empty() && attempt.additional.empty()));
}

std::string_view attempt_status(const dns_exchange& attempt) {
    if (attempt.sent_size == 0) {
        return "sock err";
    }
    if (attempt.received_size == 0) {
        return "timeout";
    }
    if (attempt.questions.empty() && attempt.answers.empty() && attempt.authority.empty() &&
        attempt.additional.empty()) {
        return "unkresp";
    }
    return attempt.answers.empty() ? "invalid" : "success";
}

bool report_exchange(record_writer& writer, const attempt_info& info) {
    write_rows(writer, info);
    writer.end_attempt(info);
    return true;
}

}  // namespace resq
