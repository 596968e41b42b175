// Choosing the rows, statuses and section labels of one attempt.
#include "report/report_exchange.hpp"

#include "dns/record_types.hpp"

namespace resq {

std::string_view status_text(row_status status) {
    switch (status) {
        case row_status::success:
            return "success";
        case row_status::invalid:
            return "invalid";
        case row_status::unkresp:
            return "unkresp";
        case row_status::timeout:
            return "timeout";
        case row_status::sock_err:
            return "sock err";
    }
    return {};
}

bool shows_question_entries(const dns_exchange& attempt, const dns_record& query) {
    // A CNAME lookup shows its question entries only where the reply has nothing else: a REFUSED
    // or SERVFAIL reply to it must not leave the lookup without a row.
    return attempt.answers.empty() && (query.dns_type != type_cname ||
                                       (attempt.authority.empty() && attempt.additional.empty()));
}

row_status attempt_status(const dns_exchange& attempt) {
    if (attempt.sent_size == 0) {
        return row_status::sock_err;
    }
    // A DNS over HTTPS reply with another status than 200 carries no DNS message.
    if (attempt.failure == exchange_failure::http_status) {
        return row_status::unkresp;
    }
    if (attempt.received_size == 0) {
        return row_status::timeout;
    }
    if (attempt.questions.empty() && attempt.answers.empty() && attempt.authority.empty() &&
        attempt.additional.empty()) {
        return row_status::unkresp;
    }
    return attempt.answers.empty() ? row_status::invalid : row_status::success;
}

std::vector<row_group> attempt_rows(const dns_exchange& attempt, const dns_record& query) {
    // Without a usable reply the lookup itself is the one row, its status telling why.
    const row_status status = attempt_status(attempt);
    if (status != row_status::success && status != row_status::invalid) {
        return {row_group{std::span(&query, 1), "question", status}};
    }
    // The status belongs to the attempt: entries of a reply that failed part-way are still shown
    // as they were decoded.
    std::vector<row_group> groups;
    const auto add = [&](const std::vector<dns_record>& records, std::string_view section,
                         row_status of) {
        if (!records.empty()) {
            groups.push_back(row_group{records, section, of});
        }
    };
    if (shows_question_entries(attempt, query)) {
        add(attempt.questions, "question", row_status::invalid);
    }
    add(attempt.answers, "answer", row_status::success);
    add(attempt.authority, "authority", row_status::success);
    add(attempt.additional, "additions", row_status::success);
    return groups;
}

bool report_exchange(record_writer& writer, const attempt_info& info) {
    for (const row_group& group : attempt_rows(info.exchange, info.query)) {
        for (const dns_record& record : group.records) {
            writer.row(report_row{record, info.exchange.server, group.section,
                                  status_text(group.status), &info, info.server_width});
        }
    }
    writer.end_attempt(info);
    return true;
}

}  // namespace resq
