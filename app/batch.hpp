// The batch loop: one lookup per accepted line of standard input or of a directory walk.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/input_params.hpp"
#include "app/query_run.hpp"
#include "dns/dns_record.hpp"

namespace resq {

class lookup_engine;

/// The filter test of a batch line: false for an empty line or one the filters refuse.
bool accept_line(std::string_view line, const std::vector<filter_entry>& filters);

/// The fields of a -typed_lines line ("NAME [TYPE]"), split on runs of spaces and tabs.
std::vector<std::string> typed_fields(std::string_view line);

/// Builds the query of `name` and `type` (a PTR name reversed from an address when
/// `reverse_ptr`); with -idn a name holding non-ASCII characters goes out as its A-labels, and
/// `ascii` receives the name sent (left empty without -idn). The query shows `name` as typed.
/// False, with the reason in `why` when it is not the encoding, when no query can be built.
bool build_lookup(dns_record& query, const std::string& name, uint32_t type, bool reverse_ptr,
                  const input_params& options, std::string& ascii, std::string& why);

/// Looks up every accepted line of `input` (or of the -enumdir tree) on `lookups`: in turn, or
/// with -inflight many at once; counting lines in the hooks' tally. A stop signal ends the
/// reading. False when it stopped early: the report stream failed, the -enumdir directory could
/// not be opened, or the input could not be read ("prob reading input: REASON" written).
bool run_batch(lookup_engine& lookups, input_params& options, std::istream& input,
               const run_hooks& hooks);

}  // namespace resq
