// The data of each answer alone, one record a line, as `dig +short` writes it.
#include "report/short_writer.hpp"

#include <unistd.h>

#include <iostream>
#include <string>

#include "dns/rdata_presentation.hpp"
#include "dns/record_types.hpp"
#include "report/report_exchange.hpp"
#include "support/text_forms.hpp"

namespace resq {

std::string no_answer_outcome(const dns_exchange& attempt) {
    if (!attempt.answers.empty()) {
        return {};
    }
    // A reply always holds a whole header; an RCODE other than NOERROR says more than any status.
    if (attempt.received_size >= 12 && attempt.header.full_rcode != 0) {
        return rcode_name(attempt.header.full_rcode);
    }
    const row_status status = attempt_status(attempt);
    if (status != row_status::invalid) {
        return std::string(status_text(status));
    }
    return attempt.header.tc ? "truncated" : "NODATA";
}

void short_writer::begin(const report_header& header) {
    static_cast<void>(header);
}

void short_writer::row(const report_row& row) {
    static_cast<void>(row);
}

void short_writer::end_attempt(const attempt_info& attempt) {
    // Only the attempt that ended the lookup speaks for it: earlier ones were retried.
    if (!attempt.last) {
        return;
    }
    const std::string outcome = no_answer_outcome(attempt.exchange);
    if (!outcome.empty()) {
        // The name came from the input: a terminal is never handed its control bytes.
        const bool err_terminal = &err_ == &std::cerr && ::isatty(STDERR_FILENO) == 1;
        err_ << (err_terminal ? terminal_safe(attempt.query.query) : attempt.query.query) << ": "
             << outcome << '\n'
             << std::flush;
        return;
    }
    std::string lines;
    for (const dns_record& record : attempt.exchange.answers) {
        if (attempt.line != 0) {
            lines += attempt.query.query;
            lines += '\t';
        }
        lines += rdata_presentation(record);
        lines += '\n';
    }
    out_.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    out_.flush();
}

void short_writer::end() {
    out_.flush();
}

}  // namespace resq
