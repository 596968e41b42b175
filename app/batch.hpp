// The batch loop: one lookup per accepted line of standard input or of a directory walk.
#pragma once

#include <istream>
#include <ostream>
#include <string_view>
#include <vector>

#include "app/input_params.hpp"
#include "app/query_run.hpp"
#include "dns/dns_record.hpp"

namespace resq {

class lookup_engine;

/// The filter test of a batch line: false for an empty line or one the filters refuse.
bool accept_line(std::string_view line, const std::vector<filter_entry>& filters);

/// Looks up every accepted line of `input` (or of the -enumdir tree) on `lookups`: in turn, or
/// with -inflight many at once; counting lines in the hooks' tally. A stop signal ends the
/// reading. False when it stopped early: the report stream failed, the -enumdir directory could
/// not be opened, or the input could not be read ("prob reading input: REASON" written).
bool run_batch(lookup_engine& lookups, input_params& options, std::istream& input,
               const run_hooks& hooks);

}  // namespace resq
