// The padded table and delimiter-separated values.
#pragma once

#include <ostream>
#include <utility>
#include <vector>

#include "report/record_writer.hpp"

namespace resq {

/// Writes one row of the table (no column header line) and flushes it. Compact rows quote the
/// fields that would split them; `terminal` shows control bytes of names and data as `\ddd`.
void write_table_row(std::ostream& out, const report_row& row, const cmd_params& options,
                     bool terminal = false);

/// The table writer: the header block, the column header line before the first row, one line
/// per row (TXT rows followed by an empty line), and with -verbose the packets of each attempt.
/// With chosen `fields`, the rows and the header line hold those fields, in that order.
class table_writer final : public record_writer {
  public:
    using record_writer::record_writer;
    /// A writer of the chosen `fields` only; none: today's columns.
    table_writer(std::ostream& out, const cmd_params& options, bool terminal,
                 std::vector<report_field> fields)
        : record_writer(out, options, terminal), fields_(std::move(fields)) {}
    table_writer(std::ostream& out, const cmd_params&& options, bool terminal,
                 std::vector<report_field> fields) = delete;

    void begin(const report_header& header) override;
    void row(const report_row& row) override;
    void end_attempt(const attempt_info& attempt) override;
    void end() override;

  private:
    bool header_pending_ = true;
    std::vector<report_field> fields_;
};

}  // namespace resq
