// JSON Lines: one object per attempt, written whole when the attempt ends.
#pragma once

#include <string>

#include "report/record_writer.hpp"

namespace resq {

/// The JSON Lines writer: no header, and for every attempt one line holding the lookup, how the
/// exchange went and every decoded entry of the reply; it takes nothing from the rows.
class json_writer final : public record_writer {
  public:
    using record_writer::record_writer;

    void begin(const report_header& header) override;
    void row(const report_row& row) override;
    void end_attempt(const attempt_info& attempt) override;
    void end() override;

  private:
    std::string line_;  // kept between attempts, so that a batch reuses one buffer
};

}  // namespace resq
