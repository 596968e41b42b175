// Choosing the rows, statuses and section labels of one attempt.
#include "report/report_exchange.hpp"

#include <string_view>
#include <vector>

#include "dns/record_types.hpp"
#include "report/table_writer.hpp"
#include "report/xml_writer.hpp"

namespace resq {

bool report_exchange(std::ostream& out, const dns_exchange& attempt, const dns_record& query,
                     cmd_params& options) {
    const auto write = [&](const dns_record& record, std::string_view section,
                           std::string_view status) {
        if (options.xml_output) {
            write_xml_entry(record, out, options, status);
        } else {
            write_table_row(record, out, section, status, options);
        }
    };
    const auto write_all = [&](const std::vector<dns_record>& records, std::string_view section,
                               std::string_view status) {
        for (const dns_record& record : records) {
            write(record, section, status);
        }
    };

    // Without a usable reply the lookup itself is the one row, its status telling why.
    if (attempt.sent_size == 0) {
        write(query, "question", "sock err");
        return true;
    }
    if (attempt.received_size == 0) {
        write(query, "question", "timeout");
        return true;
    }
    if (attempt.questions.empty() && attempt.answers.empty() && attempt.authority.empty() &&
        attempt.additional.empty()) {
        write(query, "question", "unkresp");
        return true;
    }

    // The status belongs to the attempt: entries of a reply with a wrong identifier, or of one
    // that failed part-way, are still shown as they were decoded.
    // CNAME lookups never show their question entries, answered or not.
    if (attempt.answers.empty() && query.dns_type != type_cname) {
        write_all(attempt.questions, "question", "invalid");
    }
    write_all(attempt.answers, "answer", "success");
    write_all(attempt.authority, "authority", "success");
    write_all(attempt.additional, "additions", "success");
    return true;
}

}  // namespace resq
