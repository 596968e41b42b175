// The data of each answer alone, one record a line, as `dig +short` writes it.
#pragma once

#include <ostream>

#include "report/record_writer.hpp"

namespace resq {

/// The -short writer: no header block and no column names; for the last attempt of each lookup
/// the master-file data of its answers, each after the name as read and a tab in a batch. A
/// lookup that ends without an answer is one line "NAME: OUTCOME" on the error stream.
class short_writer final : public record_writer {
  public:
    /// A writer of answers to `out` and of the lookups without one to `err`.
    short_writer(std::ostream& out, std::ostream& err, const cmd_params& options,
                 bool terminal = false)
        : record_writer(out, options, terminal), err_(err) {}
    short_writer(std::ostream& out, std::ostream& err, const cmd_params&& options,
                 bool terminal = false) = delete;

    void begin(const report_header& header) override;
    void row(const report_row& row) override;
    void end_attempt(const attempt_info& attempt) override;
    void end() override;

  private:
    std::ostream& err_;
};

/// Why an attempt brought no answer, as -short names it: the RCODE of a reply that has one other
/// than NOERROR, "NODATA" for an empty NOERROR reply ("truncated" when TC is set), else the
/// attempt's status ("timeout", "sock err", "unkresp"); empty when the attempt has answers.
std::string no_answer_outcome(const dns_exchange& attempt);

}  // namespace resq
