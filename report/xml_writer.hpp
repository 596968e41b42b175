// The XML report: one <data_entry> element per row inside a <logdata> document, and the escaping
// every XML text goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "report/record_writer.hpp"

namespace resq {

/// Writes one <data_entry> line for the row, then flushes.
void write_xml_entry(std::ostream& out, const report_row& row, const cmd_params& options);

/// Writes `text` as XML character data or attribute value: markup characters as entities, a
/// backslash doubled, a byte XML cannot carry as a backslash and three decimal digits.
void write_xml_escaped(std::ostream& out, std::string_view text);

/// The XML writer: the declaration, the header block as a comment and the <logdata> element
/// around the rows.
class xml_writer final : public record_writer {
  public:
    using record_writer::record_writer;

    void begin(const report_header& header) override;
    void row(const report_row& row) override;
    void end() override;
};

}  // namespace resq
